#pragma once
// Enumeration of running processes.
#include <cstdint>
#include <string>
#include <vector>

namespace Utils {

struct ProcessEntry {
    uint32_t pid;
    std::wstring exeName;  // file name of the executable, e.g. "Velqor.exe"
};

uint32_t CurrentProcessId();

// A snapshot of all processes in the platform's order (Windows: Toolhelp32;
// POSIX: /proc, the executable's file name or, failing that, the command name).
std::vector<ProcessEntry> EnumerateProcesses();

}  // namespace Utils
