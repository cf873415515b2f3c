#include <windows.h>

#include <cstdlib>

#include "analytics/reporting.h"
#include "app/startup.h"
#include "install/exit_codes.h"

// The crashing thread may hold any lock (the analytics queue's, the heap's):
// the report's records were made at start-up and are only written here, to
// the staging file that the next run sends ("崩溃退出" and the crash event).
long __stdcall CrashFilter(void* /*exceptionPointers*/) {
    WriteCrashReport();
    return 0;  // EXCEPTION_CONTINUE_SEARCH
}

// Not abort(): its exit code 3 means "the product is running" to whoever
// started an unattended installation, and on Windows a GUI program's abort()
// first shows the C runtime's "abnormal program termination" box, which would
// hold that installation open with nobody to close it (Wine's C runtime writes
// the line to the console instead).
void TerminateAfterCrashReport() {
    WriteCrashReport();
    std::_Exit(kExitCrashed);
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
