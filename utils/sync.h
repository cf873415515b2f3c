#pragma once
// Critical-section wrapper: a recursive lock with a scoped guard.
#include <mutex>

namespace Utils {

class CriticalSection {
public:
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.try_lock(); }
    // Lockable, so std::lock_guard/std::unique_lock work as well.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

private:
    std::recursive_mutex m_mutex;
};

class AutoLock {
public:
    explicit AutoLock(CriticalSection& cs) : m_cs(cs) { m_cs.Lock(); }
    ~AutoLock() { m_cs.Unlock(); }
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

private:
    CriticalSection& m_cs;
};

}  // namespace Utils
