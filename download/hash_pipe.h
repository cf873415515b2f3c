#pragma once
// Hashes a stream of bytes on a helper thread so that the digest of a package is
// computed while it is being received, overlapping with the network instead of
// following it. At most kSlots blocks wait; a faster producer waits for the
// hasher. The thread belongs to the object: Finish or the destructor joins it.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "utils/md5.h"

namespace download_detail {

class HashPipe {
public:
    explicit HashPipe(Utils::DigestKind kind = Utils::DigestKind::Md5) : m_md5(kind), m_thread([this] { Run(); }) {}
    ~HashPipe() { Finish(); }
    HashPipe(const HashPipe&) = delete;
    HashPipe& operator=(const HashPipe&) = delete;

    bool Valid() const { return m_md5.Valid(); }

    void Push(const char* data, size_t size) {
        if (size == 0) return;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_queue.size() < kSlots; });
        std::vector<char> block;
        if (!m_free.empty()) {
            block = std::move(m_free.back());
            m_free.pop_back();
        }
        block.assign(data, data + size);
        m_queue.push_back(std::move(block));
        m_cv.notify_all();
    }

    // Waits until every pushed byte is hashed; returns the digest ("" on failure).
    std::string Finish() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
            m_digest = m_md5.HexDigest();
        }
        return m_digest;
    }

private:
    static constexpr size_t kSlots = 16;

    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [this] { return !m_queue.empty() || m_done; });
            if (m_queue.empty()) return;
            std::vector<char> block = std::move(m_queue.front());
            m_queue.pop_front();
            m_cv.notify_all();
            lock.unlock();
            m_md5.Update(block.data(), block.size());
            lock.lock();
            m_free.push_back(std::move(block));
        }
    }

    Utils::Md5 m_md5;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::vector<char>> m_queue;
    std::vector<std::vector<char>> m_free;
    bool m_done = false;
    std::string m_digest;
    std::thread m_thread;  // last: starts after everything above exists
};

}  // namespace download_detail
