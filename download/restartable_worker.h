#pragma once
// The threads of a downloader's runs, owned in one place. A run is started by
// Start, possibly from inside the current run: the orchestrator restarts a
// download from the run's own DL_CODE_RETRY notification, on the run's last
// thread. The new run's first thread then begins its body only after the
// calling thread's body has returned, so two runs never overlap; a Start from
// anywhere else first waits for every thread of earlier runs. Threads a run
// adds (the multi-part variant's parts and joiner) belong here as well. Stop
// waits for all of them; every thread object is joined by the next Start or by
// Stop, never by itself.
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

namespace Utils {
class Thread;
}

namespace download_detail {

class RestartableWorker {
public:
    // A thread started here, to wait for with Wait.
    struct Entry;
    using Handle = std::shared_ptr<Entry>;

    RestartableWorker();
    ~RestartableWorker();  // Stop
    RestartableWorker(const RestartableWorker&) = delete;
    RestartableWorker& operator=(const RestartableWorker&) = delete;

    // Starts a new run: body on a new thread. Returns false (and starts
    // nothing) once Stop has been called.
    bool Start(std::wstring name, std::function<void()> body);
    // Another thread of the current run; null once Stop has been called.
    Handle Add(std::wstring name, std::function<void()> body);
    // Until the body of that thread has returned.
    void Wait(const Handle& thread);
    // No thread is started any more; waits for every thread started so far.
    void Stop();

private:
    Handle Launch(std::wstring name, std::function<void()> body);

    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::list<Handle> m_threads;
    bool m_stopped = false;
};

}  // namespace download_detail
