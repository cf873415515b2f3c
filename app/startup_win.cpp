#include <windows.h>

#include "analytics/reporting.h"
#include "app/startup.h"

void HardenDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault) setDefault(0x800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    SetDllDirectoryW(L"");

    wchar_t system[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return;
    static const wchar_t* const kPreload[] = {L"version.dll", L"ws2_32.dll",   L"sxs.dll",
                                              L"dwmapi.dll",  L"msimg32.dll",  L"d3d8.dll",
                                              L"ieframe.dll", L"ws2help.dll",  L"WindowsCodecs.dll"};
    for (const wchar_t* dll : kPreload) {
        std::wstring path = std::wstring(system, n) + L"\\" + dll;
        LoadLibraryW(path.c_str());  // failures ignored; never unloaded
    }
}

// The crashing thread may hold any lock (the analytics queue's, the heap's):
// the report's records were made at start-up and are only written here, to
// the staging file that the next run sends ("崩溃退出" and the crash event).
long __stdcall CrashFilter(void* /*exceptionPointers*/) {
    WriteCrashReport();
    return 0;  // EXCEPTION_CONTINUE_SEARCH
}

bool InstanceMutex::Acquire() {
    std::wstring name = KernelName();
    HANDLE h = CreateMutexW(nullptr, TRUE, name.c_str());
    if (!h) return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        return false;
    }
    m_handle = h;
    return true;
}

void InstanceMutex::Release() {
    if (!m_handle) return;
    ReleaseMutex(static_cast<HANDLE>(m_handle));
    CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
}
