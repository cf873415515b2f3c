#pragma once
// Start-up pieces of the entry point (Windows).
#include <string>

// Removes the current folder from the DLL search order and preloads the system
// DLLs that are otherwise looked up beside the executable.
void HardenDllSearch();

// The process's unhandled-exception filter: reports the crash and lets the
// platform's default handling follow.
long __stdcall CrashFilter(void* exceptionPointers);

// The process's std::terminate handler: a C++ exception that nothing catches
// (or one leaving a noexcept function) ends there, not in the filter above. It
// writes the same crash report and ends the process with kExitCrashed (12).
[[noreturn]] void TerminateAfterCrashReport();

// The single-instance lock "D1A547DB89C0BC61_" + base name, held for the run.
class InstanceMutex {
public:
    explicit InstanceMutex(std::wstring baseName = L"Installer_velqordoc") : m_baseName(std::move(baseName)) {}
    ~InstanceMutex() { Release(); }
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    // True when this process now holds the lock; false when another one does
    // or the mutex cannot be created.
    bool Acquire();
    void Release();
    std::wstring KernelName() const { return L"D1A547DB89C0BC61_" + m_baseName; }

private:
    std::wstring m_baseName;
    void* m_handle = nullptr;
};
