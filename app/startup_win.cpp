#include <windows.h>

#include "analytics/reporting.h"
#include "app/startup.h"

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
