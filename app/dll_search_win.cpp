// The DLL search hardening of the entry point's first step, in a file of its
// own: it needs nothing but kernel32, and bench/first_paint's baseline with
// the installer's fixed start-up links it alone.
#include <windows.h>

#include <string>

#include "app/startup.h"
#include "utils/system_library_win.h"

void HardenDllSearch() {
    Utils::RestrictDllSearchToSystem32();

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
