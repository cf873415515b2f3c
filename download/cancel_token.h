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

// Lets one run of a downloader begin only after the previous run has ended,
// without the caller of Start having to wait (Start may run on the very thread
// whose run is ending).
class RunGate {
public:
    void Enter() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_busy; });
        m_busy = true;
    }
    void Leave() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_busy = false;
        }
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_busy = false;
};

class RunGuard {
public:
    explicit RunGuard(RunGate& gate) : m_gate(gate) { m_gate.Enter(); }
    ~RunGuard() { m_gate.Leave(); }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;

private:
    RunGate& m_gate;
};

}  // namespace download_detail
