#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "utils/thread_impl.h"

namespace Utils {

uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }


Thread::Thread(void* context, std::wstring name, Body body)
    : m_context(context), m_name(std::move(name)), m_body(std::move(body)), m_impl(std::make_unique<Impl>()) {
    std::atomic<uint32_t> tid{0};
    std::mutex idMutex;
    std::condition_variable idCv;
    bool haveId = false;
    try {
        m_impl->thread = std::thread([this, &tid, &idMutex, &idCv, &haveId] {
            {
                // Notified under the lock: the constructor's condition variable
                // lives on its stack and may go as soon as it sees haveId.
                std::lock_guard<std::mutex> lock(idMutex);
                tid = static_cast<uint32_t>(syscall(SYS_gettid));
                haveId = true;
                idCv.notify_one();
            }
            // Suspended until Start (or let go by the destructor).
            {
                std::unique_lock<std::mutex> lock(m_impl->mutex);
                m_impl->cv.wait(lock, [this] { return m_impl->go; });
            }
            CallBack(this);
        });
    } catch (const std::system_error&) {
        return;  // inert object: Start fails, Join does nothing
    }
    std::unique_lock<std::mutex> lock(idMutex);
    idCv.wait(lock, [&] { return haveId; });
    m_id = tid;
    m_impl->created = true;
    pthread_setname_np(m_impl->thread.native_handle(), DebuggerName(m_name, m_id).substr(0, 15).c_str());
}

Thread::~Thread() {
    Join();
    m_name.clear();
    m_body = nullptr;
}

bool Thread::Start() {
    if (!m_impl->created || m_impl->started.exchange(true)) return false;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->go = true;
    }
    m_impl->cv.notify_one();
    return true;
}

void Thread::Join() {
    if (!m_impl->created) return;
    if (!m_impl->started.load()) {
        m_impl->cancelled = true;
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->go = true;
    }
    m_impl->cv.notify_one();
    if (m_impl->thread.joinable()) m_impl->thread.join();
    m_impl->created = false;
    m_id = kNoThread;
}

}  // namespace Utils
