#pragma once
// System DLLs from System32 only (Windows). Header-only: the delay-load
// resolver (utils/delay_load_win.cpp), which is linked into executables of its
// own and runs before static constructors, uses it too.
#include <windows.h>

namespace Utils {

// Restricts the process's default DLL search to System32 where the system
// can (SetDefaultDllDirectories, looked up at run time: Windows 7 without
// KB2533623 lacks it) and takes the current folder out of the search order.
inline void RestrictDllSearchToSystem32() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault) setDefault(0x800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    ::SetDllDirectoryW(L"");
}

// Loads a system DLL (a file name such as L"winhttp.dll") from System32 only,
// never from the executable's folder; nullptr when it cannot be loaded.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
    HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // Windows 7 without KB2533623 does not know the flag: the full path in
    // System32 says the same.
    wchar_t path[MAX_PATH + MAX_PATH];
    UINT len = ::GetSystemDirectoryW(path, MAX_PATH);
    if (len == 0 || len >= MAX_PATH) return nullptr;
    path[len++] = L'\\';
    for (UINT i = 0; name[i]; ++i, ++len) {
        if (len >= sizeof path / sizeof *path - 1) return nullptr;
        path[len] = name[i];
    }
    path[len] = L'\0';
    return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace Utils
