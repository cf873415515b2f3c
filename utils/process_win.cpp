#include <windows.h>
#include <tlhelp32.h>

#include "utils/process.h"

namespace Utils {

uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }

std::vector<ProcessEntry> EnumerateProcesses() {
    std::vector<ProcessEntry> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return out;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snap, &entry); more; more = Process32NextW(snap, &entry))
        out.push_back({entry.th32ProcessID, entry.szExeFile});
    CloseHandle(snap);
    return out;
}

}  // namespace Utils
