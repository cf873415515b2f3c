#include "download/restartable_worker.h"

#include <vector>

#include "utils/log.h"
#include "utils/thread.h"

namespace download_detail {

struct RestartableWorker::Entry {
    std::unique_ptr<Utils::Thread> thread;
    bool finished = false;  // the body has returned (guarded by the owner's mutex)
};

RestartableWorker::RestartableWorker() = default;

RestartableWorker::~RestartableWorker() { Stop(); }

RestartableWorker::Handle RestartableWorker::Launch(std::wstring name, std::function<void()> body) {
    // Called with m_mutex held.
    auto entry = std::make_shared<Entry>();
    Entry* raw = entry.get();
    entry->thread = std::make_unique<Utils::Thread>(this, std::move(name), [this, raw, body = std::move(body)](void*) {
        body();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            raw->finished = true;
        }
        m_finished.notify_all();
        return uint32_t{0};
    });
    m_threads.push_back(entry);
    entry->thread->Start();
    return entry;
}

bool RestartableWorker::Start(std::wstring name, std::function<void()> body) {
    const uint32_t self = Utils::CurrentThreadId();
    for (;;) {
        std::vector<Handle> earlier;
        Handle caller;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopped) return false;
            for (auto it = m_threads.begin(); it != m_threads.end();) {
                if ((*it)->thread->Id() == self) {
                    caller = *it;
                    ++it;
                } else {
                    earlier.push_back(*it);
                    it = m_threads.erase(it);
                }
            }
            if (earlier.empty()) {
                // Nothing of an earlier run is left but (maybe) the caller,
                // whose body the new run waits for.
                Launch(std::move(name), [this, caller, body = std::move(body)] {
                    if (caller) Wait(caller);
                    body();
                });
                return true;
            }
        }
        // Outside the lock: the threads waited for may still add threads.
        for (const Handle& h : earlier) h->thread->Join();
    }
}

RestartableWorker::Handle RestartableWorker::Add(std::wstring name, std::function<void()> body) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopped) return nullptr;
    return Launch(std::move(name), std::move(body));
}

void RestartableWorker::Wait(const Handle& thread) {
    if (!thread) return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_finished.wait(lock, [&] { return thread->finished; });
}

void RestartableWorker::Stop() {
    const uint32_t self = Utils::CurrentThreadId();
    for (;;) {
        std::list<Handle> threads;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
            threads.swap(m_threads);
        }
        if (threads.empty()) return;
        for (const Handle& h : threads) {
            if (h->thread->Id() == self) {
                // A thread cannot wait for itself (its owner would be destroyed
                // from inside a notification, which no caller does): it is let
                // go rather than deadlock.
                DEBUG_LOG(L"stopped from one of its own threads\r\n");
                (void)h->thread.release();
                continue;
            }
            h->thread->Join();
        }
    }
}

}  // namespace download_detail
