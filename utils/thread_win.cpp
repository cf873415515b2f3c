#include <windows.h>
#include <process.h>

#include "utils/thread_impl.h"

namespace Utils {

uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

namespace {

constexpr DWORD kSetThreadNameException = 0x406D1388;

#pragma pack(push, 8)
struct ThreadNameInfo {
    DWORD type;        // 0x1000
    LPCSTR name;
    DWORD threadId;
    DWORD flags;
};
#pragma pack(pop)

// mingw has no __try/__except: the naming exception is swallowed by a vectored
// handler instead, which sees it only after an attached debugger let it pass.
LONG CALLBACK SwallowThreadName(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode == kSetThreadNameException) return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_CONTINUE_SEARCH;
}

void AnnounceThreadName(DWORD threadId, const std::string& name) {
    if (!IsDebuggerPresent()) return;  // without a debugger nothing is to be seen
    ThreadNameInfo info{0x1000, name.c_str(), threadId, 0};
    PVOID handler = AddVectoredExceptionHandler(1, SwallowThreadName);
    RaiseException(kSetThreadNameException, 0, sizeof(info) / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
    if (handler) RemoveVectoredExceptionHandler(handler);
}

unsigned __stdcall Entry(void* arg) {
    Thread::CallBack(static_cast<Thread*>(arg));
    _endthreadex(0);
    return 0;
}

}  // namespace

Thread::Thread(void* context, std::wstring name, Body body)
    : m_context(context), m_name(std::move(name)), m_body(std::move(body)), m_impl(std::make_unique<Impl>()) {
    unsigned id = 0;
    uintptr_t h = _beginthreadex(nullptr, 0, Entry, this, CREATE_SUSPENDED, &id);
    if (h == 0) return;
    m_impl->handle = reinterpret_cast<HANDLE>(h);
    m_impl->created = true;
    m_id = id;
    AnnounceThreadName(id, DebuggerName(m_name, id));
}

Thread::~Thread() {
    Join();
    m_name.clear();
    m_body = nullptr;
}

bool Thread::Start() {
    if (!m_impl->created || m_impl->started.exchange(true)) return false;
    return ResumeThread(static_cast<HANDLE>(m_impl->handle)) != static_cast<DWORD>(-1);
}

void Thread::Join() {
    if (!m_impl->handle) return;
    if (!m_impl->started.exchange(true)) {
        // Never started: let it run to its end without the body.
        m_impl->cancelled = true;
        ResumeThread(static_cast<HANDLE>(m_impl->handle));
    }
    WaitForSingleObject(static_cast<HANDLE>(m_impl->handle), INFINITE);
    CloseHandle(static_cast<HANDLE>(m_impl->handle));
    m_impl->handle = nullptr;
    m_impl->created = false;
    m_id = kNoThread;
}

}  // namespace Utils
