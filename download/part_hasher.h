#pragma once
// Hashes the part files of one multi-part run, in order, while they are being
// written. Bytes that arrive exactly where the hash has got to (the part being
// hashed, caught up) are hashed at once on the writer's thread (Feed); the
// thread of this object reads the rest from the part files: bytes resumed
// from an earlier run (on disk from the start, read first) and the bytes of a
// later part written while an earlier one was still being hashed, following
// the file as it grows. Each part file is only ever appended to during a run,
// so the bytes below what a writer reported stay as they were.
//
// The digest is trusted only when every file was hashed to exactly its
// planned size; otherwise Finish returns "" and the caller hashes the joined
// file instead. The thread belongs to the object: Finish or the destructor
// joins it.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "utils/fs.h"
#include "utils/md5.h"

namespace download_detail {

class PartFilesHasher {
public:
    struct File {
        std::wstring path;
        int64_t size = 0;       // the part's planned length
        int64_t available = 0;  // bytes already on disk (resumed or complete)
    };

    PartFilesHasher(Utils::DigestKind kind, std::vector<File> files)
        : m_hash(kind), m_files(std::move(files)), m_ended(m_files.size(), false) {
        if (m_hash.Valid()) m_thread = std::thread([this] { Run(); });
    }
    ~PartFilesHasher() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }
    PartFilesHasher(const PartFilesHasher&) = delete;
    PartFilesHasher& operator=(const PartFilesHasher&) = delete;

    // The first `available` bytes of part `index` are on disk (written by an
    // unbuffered stream, so another handle reads them).
    void Grown(size_t index, int64_t available) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index >= m_files.size() || available <= m_files[index].available) return;
        m_files[index].available = available;
        if (m_waiting == static_cast<int>(index)) m_cv.notify_all();
    }

    // The bytes [offset, offset + size) of part `index` were just written.
    // When they are the next ones the hash needs they are hashed here, on the
    // writer's thread; otherwise the thread reads them from the file later.
    void Feed(size_t index, int64_t offset, const char* data, size_t size) {
        if (size == 0) return;
        std::lock_guard<std::mutex> lock(m_hashMutex);
        if (m_current != static_cast<int>(index) || m_hashed.load() != offset) return;
        m_hash.Update(data, size);
        m_hashed = offset + static_cast<int64_t>(size);
    }

    // No more bytes will come for part `index` in this run.
    void Ended(size_t index) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < m_ended.size()) m_ended[index] = true;
        m_cv.notify_all();
    }

    // Waits until every part is hashed (or cannot be); the digest of all parts
    // in order as lower-case hex, "" when it cannot be trusted. Call once,
    // after every part has ended.
    std::string Finish() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (size_t i = 0; i < m_ended.size(); ++i) m_ended[i] = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable()) m_thread.join();
        return m_complete ? m_hash.HexDigest() : std::string();
    }

private:
    static constexpr size_t kBlock = 256 * 1024;

    // Hashes part i to its planned size, reading from the file what Feed did
    // not hash; false when the part ended short, the file could not be read
    // or the run is stopped.
    bool Follow(size_t i, std::vector<char>& block) {
        std::FILE* in = Utils::OpenFile(m_files[i].path, "rb");
        if (!in) return false;
        const int64_t size = m_files[i].size;
        {
            std::lock_guard<std::mutex> lock(m_hashMutex);
            m_current = static_cast<int>(i);
            m_hashed = 0;
        }
        int64_t position = 0;  // of the file stream
        bool ok = true;
        while (ok && m_hashed.load() < size) {
            int64_t available;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_waiting = static_cast<int>(i);
                // Feed may hash the last bytes while this thread waits; the
                // writer's Grown then wakes it.
                m_cv.wait(lock, [&] {
                    return m_stop || m_ended[i] || m_hashed.load() >= size || m_files[i].available > m_hashed.load();
                });
                m_waiting = -1;
                available = m_files[i].available;
                if (m_hashed.load() >= size) break;
                if (m_stop || available <= m_hashed.load()) {
                    ok = false;  // stopped, or the part ended before its last byte
                    break;
                }
            }
            if (available > size) available = size;
            // Only this thread moves the hash past bytes a writer has already
            // reported, so nothing below `available` is hashed behind its back.
            for (int64_t hashed = m_hashed.load(); ok && hashed < available; hashed = m_hashed.load()) {
                int64_t want = available - hashed;
                size_t n = static_cast<size_t>(want < static_cast<int64_t>(kBlock) ? want : kBlock);
                if (position != hashed && std::fseek(in, static_cast<long>(hashed), SEEK_SET) != 0) {
                    ok = false;
                    break;
                }
                size_t got = std::fread(block.data(), 1, n, in);
                position = hashed + static_cast<int64_t>(got);
                if (got != n) {
                    ok = false;  // shorter than its writer said: not the bytes counted
                    break;
                }
                std::lock_guard<std::mutex> lock(m_hashMutex);
                if (m_hashed.load() != hashed) continue;  // cannot happen (see above); read again
                m_hash.Update(block.data(), got);
                m_hashed = hashed + static_cast<int64_t>(got);
            }
        }
        std::fclose(in);
        {
            std::lock_guard<std::mutex> lock(m_hashMutex);
            m_current = -1;  // Feed stops until the next part is taken up
        }
        return ok && m_hashed.load() == size;
    }

    void Run() {
        std::vector<char> block(kBlock);
        for (size_t i = 0; i < m_files.size(); ++i)
            if (!Follow(i, block)) return;
        m_complete = true;
    }

    std::mutex m_hashMutex;  // m_hash, m_current and the writes of m_hashed
    Utils::Md5 m_hash;
    int m_current = -1;                // the part being hashed; -1 none
    std::atomic<int64_t> m_hashed{0};  // its bytes hashed so far
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<File> m_files;  // available: under m_mutex
    std::vector<bool> m_ended;  // under m_mutex
    int m_waiting = -1;         // the part the thread waits for, -1 none (under m_mutex)
    bool m_stop = false;        // under m_mutex
    bool m_complete = false;    // written by the thread, read after joining it
    std::thread m_thread;       // last: starts after everything above exists
};

}  // namespace download_detail
