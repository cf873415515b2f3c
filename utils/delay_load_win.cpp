// The resolver behind the executable's delay-load imports (cmake/DelayLoad.cmake).
//
// Each delay-loaded function starts out pointing at a thunk that calls
// __delayLoadHelper2 with the DLL's delay-load descriptor and the function's
// slot in the delay import address table. This resolver loads the DLL from
// System32 only (whether or not the process's search has been restricted yet:
// static constructors may call in before WinMain does), resolves the function
// by name or ordinal, stores it in the slot and returns it; the thunk then
// jumps there. It replaces the toolchain's own helper, which loads with the
// process's default search order.
//
// The linker drops the thunk of a function that the code reaches only through
// its import pointer (__imp_<name>, as every call declared dllimport does),
// leaving that pointer 0 instead of aimed at the thunk. Such functions are
// resolved once at start-up, before any other static constructor runs (the
// descriptors come from cmake/DelayLoad.cmake): their DLLs are then loaded
// early, from System32 all the same, and the process's DLL search is
// restricted to System32 before that.
//
// When the DLL or the function is missing the documented delay-load
// exceptions are raised (0xC06D007E, 0xC06D007F) and the process ends
// through its crash handling, as it would had the loader failed to bind a
// static import.
#include <windows.h>

#include <cstdint>

#include "utils/system_library_win.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;  // the linker's symbol for this image's base

namespace {

// The delay-load directory entry of a PE image.
struct DelayDescriptor {
    DWORD attributes;  // bit 0: the fields below are RVAs, not addresses
    DWORD dllName;     // the DLL's ANSI name
    DWORD module;      // where its HMODULE is kept
    DWORD iat;         // the delay import address table
    DWORD names;       // the delay import name table (IMAGE_THUNK_DATA)
    DWORD boundIat;
    DWORD unloadIat;
    DWORD timeStamp;
};

constexpr DWORD kModuleNotFound = 0xC06D007E;  // VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND)
constexpr DWORD kProcNotFound = 0xC06D007F;    // VcppException(ERROR_SEVERITY_ERROR, ERROR_PROC_NOT_FOUND)

template <class T>
T* At(const DelayDescriptor* d, DWORD field) {
    if (field == 0) return nullptr;
    if (d->attributes & 1) {
        return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(&__ImageBase) + field);
    }
    return reinterpret_cast<T*>(static_cast<std::uintptr_t>(field));  // 32-bit images only
}

// The descriptor names the DLL in ASCII.
HMODULE LoadFromSystem32(const char* name) {
    wchar_t wide[MAX_PATH];
    int n = 0;
    for (; name[n] && n < MAX_PATH - 1; ++n) wide[n] = static_cast<unsigned char>(name[n]);
    wide[n] = L'\0';
    return Utils::LoadSystemLibrary(wide);
}

[[noreturn]] void Fail(DWORD code, const char* dll, const char* function) {
    ULONG_PTR info[2] = {reinterpret_cast<ULONG_PTR>(dll), reinterpret_cast<ULONG_PTR>(function)};
    for (;;) ::RaiseException(code, EXCEPTION_NONCONTINUABLE, 2, info);
}

}  // namespace

extern "C" FARPROC WINAPI __delayLoadHelper2(const DelayDescriptor* descriptor, FARPROC* slot) {
    const char* dll = At<const char>(descriptor, descriptor->dllName);
    auto* held = At<HMODULE>(descriptor, descriptor->module);
    auto* iat = At<FARPROC>(descriptor, descriptor->iat);
    auto* names = At<const IMAGE_THUNK_DATA>(descriptor, descriptor->names);
    if (!dll || !held || !iat || !names) Fail(kModuleNotFound, dll, nullptr);

    HMODULE module = reinterpret_cast<HMODULE>(
        ::InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(held), nullptr, nullptr));
    if (!module) {
        HMODULE loaded = LoadFromSystem32(dll);
        if (!loaded) Fail(kModuleNotFound, dll, nullptr);
        // Two threads may race to the first call: one handle is kept, the
        // other reference is given back.
        module = reinterpret_cast<HMODULE>(
            ::InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(held), loaded, nullptr));
        if (module)
            ::FreeLibrary(loaded);
        else
            module = loaded;
    }

    const IMAGE_THUNK_DATA& entry = names[slot - iat];
    const char* function;
    if (IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal))
        function = reinterpret_cast<const char*>(static_cast<ULONG_PTR>(IMAGE_ORDINAL(entry.u1.Ordinal)));
    else
        function = At<const IMAGE_IMPORT_BY_NAME>(descriptor, static_cast<DWORD>(entry.u1.AddressOfData))->Name;
    FARPROC address = ::GetProcAddress(module, function);
    if (!address) Fail(kProcNotFound, dll, IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal) ? nullptr : function);
    *slot = address;
    return address;
}

// The descriptors of the executable's delay-load libraries (generated; a
// library the executable does not use is a null entry).
extern const void* const kDelayLoadDescriptors[];
extern const unsigned kDelayLoadDescriptorCount;

namespace {

__attribute__((constructor(101))) void ResolveUnboundDelayImports() {
    // What these DLLs load in turn while they start (comctl32 its theme DLL,
    // say) is searched for with the process's default order, which would
    // still begin with the executable's folder: that search is restricted to
    // System32 first (WinMain's HardenDllSearch does the same again, and the
    // rest of its work).
    Utils::RestrictDllSearchToSystem32();

    for (unsigned i = 0; i < kDelayLoadDescriptorCount; ++i) {
        auto* descriptor = static_cast<const DelayDescriptor*>(kDelayLoadDescriptors[i]);
        if (!descriptor) continue;
        auto* iat = At<FARPROC>(descriptor, descriptor->iat);
        auto* names = At<const IMAGE_THUNK_DATA>(descriptor, descriptor->names);
        if (!iat || !names) continue;
        for (unsigned n = 0; names[n].u1.AddressOfData != 0; ++n)
            if (!iat[n]) __delayLoadHelper2(descriptor, &iat[n]);
    }
}

}  // namespace
