#include "app/first_paint_win.h"

#include <cstdio>

namespace first_paint {
namespace {

constexpr wchar_t kMarkVariable[] = L"VELQOR_FIRST_PAINT_MARK";
constexpr wchar_t kExitVariable[] = L"VELQOR_FIRST_PAINT_EXIT";

bool g_read = false;
bool g_done = false;
wchar_t g_path[MAX_PATH * 2] = {};

ULONGLONG ToTicks(const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// The current time in the clock of the process creation time, as precise as
// the system offers (the precise call exists from Windows 8 on).
FILETIME Now() {
    using Precise = void(WINAPI*)(LPFILETIME);
    FILETIME now{};
    static const auto precise = reinterpret_cast<Precise>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    if (precise) precise(&now);
    else GetSystemTimeAsFileTime(&now);
    return now;
}

}  // namespace

bool Requested() {
    if (!g_read) {
        g_read = true;
        const DWORD n = GetEnvironmentVariableW(kMarkVariable, g_path, static_cast<DWORD>(sizeof g_path / sizeof *g_path));
        if (n == 0 || n >= sizeof g_path / sizeof *g_path) g_path[0] = L'\0';
    }
    return g_path[0] != L'\0';
}

void Painted(HWND hwnd, const RECT& painted, const RECT& client) {
    if (g_done || !Requested() || !IsWindowVisible(hwnd)) return;
    if (client.right <= client.left || client.bottom <= client.top) return;
    if (painted.left > client.left || painted.top > client.top || painted.right < client.right ||
        painted.bottom < client.bottom)
        return;  // a part only: the window is not complete yet
    const FILETIME now = Now();
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
    g_done = true;
    const double ms = static_cast<double>(ToTicks(now) - ToTicks(created)) / 10000.0;
    char line[32];
    const int len = std::snprintf(line, sizeof line, "%.1f\n", ms);
    HANDLE file = CreateFileW(g_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(len), &written, nullptr);
        CloseHandle(file);
    }
    wchar_t exitValue[4] = {};
    if (GetEnvironmentVariableW(kExitVariable, exitValue, 4) == 1 && exitValue[0] == L'1')
        TerminateProcess(GetCurrentProcess(), 0);  // the measurement is all that was asked for
}

}  // namespace first_paint
