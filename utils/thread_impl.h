#pragma once
// State shared by the portable and the platform parts of Utils::Thread.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "utils/thread.h"

namespace Utils {

struct Thread::Impl {
    bool created = false;
    std::atomic<bool> started{false};
    std::atomic<bool> cancelled{false};
#if defined(_WIN32)
    void* handle = nullptr;  // HANDLE
#else
    std::thread thread;
    std::mutex mutex;
    std::condition_variable cv;
    bool go = false;
#endif
};

}  // namespace Utils
