// Windows side of the diagnostic log: the debugger-output channel.
#include <windows.h>

#include "utils/log.h"
#include "utils/text.h"

namespace Utils {

namespace detail {
// Wine workaround: Wine 8's OutputDebugStringW only raises the wide debug
// exception and prints nothing without a debugger, while OutputDebugStringA
// shows up on standard error (channel "debugstr"). Under Wine the line goes
// out as UTF-8 through the narrow call; on Windows the wide call is the one.
bool RunningOnWine() {
    static const bool wine = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

void EmitDebugLine(const std::wstring& line) {
    if (RunningOnWine()) {
        OutputDebugStringA(WideToUtf8(line).c_str());
        return;
    }
    OutputDebugStringW(line.c_str());
}
}  // namespace detail

}  // namespace Utils
