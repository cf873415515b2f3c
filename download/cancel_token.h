#pragma once
// A one-way cancel flag that sleeping workers can wait on: SleepFor returns
// early (false) once Cancel has been called, so an owner that cancels and then
// joins its threads never waits out a retry pause.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace download_detail {

class CancelToken {
public:
    void Cancel() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_cancelled = true;
        }
        m_cv.notify_all();
    }
    bool IsCancelled() const { return m_cancelled.load(); }
    // True when the full pause elapsed, false when cancelled.
    bool SleepFor(uint32_t ms) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return !m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_cancelled.load(); });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::atomic<bool> m_cancelled{false};
};

}  // namespace download_detail
