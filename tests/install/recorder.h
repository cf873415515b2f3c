#pragma once
// Collects notifications (code, value, text) from any thread.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "download/downloader.h"

namespace install_test {

struct Note {
    int code;
    double value;
    std::wstring text;
    bool operator==(const Note& o) const { return code == o.code && value == o.value && text == o.text; }
};

inline std::ostream& operator<<(std::ostream& os, const Note& n) {
    std::string t;
    for (wchar_t c : n.text) t += c < 0x80 ? static_cast<char>(c) : '?';
    return os << "(" << n.code << ", " << n.value << ", \"" << t << "\")";
}

class Recorder {
public:
    DownloadCallback Callback() {
        return [this](int code, double value, const wchar_t* text) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_notes.push_back({code, value, text ? text : L""});
            m_cv.notify_all();
        };
    }
    std::vector<Note> Notes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_notes;
    }
    std::vector<int> Codes() {
        std::vector<int> codes;
        for (const Note& n : Notes()) codes.push_back(n.code);
        return codes;
    }
    // Waits (generously) until a notification with one of the codes arrives.
    bool WaitForAny(std::initializer_list<int> codes, std::chrono::seconds limit = std::chrono::seconds(60)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, limit, [&] {
            for (const Note& n : m_notes)
                for (int c : codes)
                    if (n.code == c) return true;
            return false;
        });
    }
    // Waits until at least `count` notifications with the code have arrived.
    bool WaitForCount(int code, size_t count, std::chrono::seconds limit = std::chrono::seconds(60)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, limit, [&] {
            size_t n = 0;
            for (const Note& x : m_notes) n += x.code == code;
            return n >= count;
        });
    }
    std::vector<Note> WithCode(int code) {
        std::vector<Note> out;
        for (const Note& n : Notes())
            if (n.code == code) out.push_back(n);
        return out;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Note> m_notes;
};

}  // namespace install_test
