#pragma once
// Hashes the part files of one multi-part run, in order, while they are being
// written: the thread follows the first part file as its range arrives, then
// the second (already partly on disk when the first is done, the rest
// followed as it arrives). Each part file is only ever appended to during a
// run, so the bytes below what a writer reported stay as they were; bytes
// resumed from an earlier run are on disk from the start and are read first.
//
// The digest is trusted only when every file was hashed to exactly its
// planned size; otherwise Finish returns "" and the caller hashes the joined
// file instead. The thread belongs to the object: Finish or the destructor
// joins it.
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

    // Part i's bytes [hashed, available) as they appear; false when the part
    // ended short, the file could not be read or the run is stopped.
    bool Follow(size_t i, std::vector<char>& block) {
        std::FILE* in = Utils::OpenFile(m_files[i].path, "rb");
        if (!in) return false;
        const int64_t size = m_files[i].size;
        int64_t hashed = 0;
        bool ok = true;
        while (ok && hashed < size) {
            int64_t available;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_waiting = static_cast<int>(i);
                m_cv.wait(lock, [&] { return m_stop || m_ended[i] || m_files[i].available > hashed; });
                m_waiting = -1;
                available = m_files[i].available;
                if (m_stop || available <= hashed) {
                    ok = false;  // stopped, or the part ended before its last byte
                    break;
                }
            }
            if (available > size) available = size;
            while (hashed < available) {
                int64_t want = available - hashed;
                size_t n = static_cast<size_t>(want < static_cast<int64_t>(kBlock) ? want : kBlock);
                size_t got = std::fread(block.data(), 1, n, in);
                if (got != n) {
                    ok = false;  // shorter than its writer said: not the bytes counted
                    break;
                }
                m_hash.Update(block.data(), got);
                hashed += static_cast<int64_t>(got);
            }
        }
        std::fclose(in);
        return ok;
    }

    void Run() {
        std::vector<char> block(kBlock);
        for (size_t i = 0; i < m_files.size(); ++i)
            if (!Follow(i, block)) return;
        m_complete = true;
    }

    Utils::Md5 m_hash;
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
