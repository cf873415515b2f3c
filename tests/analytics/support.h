#pragma once
// Helpers of the analytics tests: stream capture, record parsing and the
// client side of the local collector (tools/analytics-collector).
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <json/json.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include "tests/common/host_path.h"
#include "utils/fs.h"
#include "utils/text.h"

namespace analytics_test {

// Captures what the process writes to its standard error (std::cerr) or
// standard output (std::cout) stream for its lifetime, at the file-descriptor
// level, so that stdio writes are seen as well as stream writes.
class StreamCapture {
public:
    explicit StreamCapture(std::ostream& stream)
        : m_stream(stream), m_fd(&stream == &std::cout ? 1 : 2), m_path(TempName()) {
        Flush();
        m_saved = dup(m_fd);
#ifdef _WIN32
        m_mode = _setmode(m_fd, _O_BINARY);  // the bytes as written, no CR added
#endif
        std::FILE* sink = std::fopen(m_path.c_str(), "wb");
        if (sink) {
            dup2(fileno(sink), m_fd);
            std::fclose(sink);
        }
    }
    ~StreamCapture() { Restore(); std::remove(m_path.c_str()); }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;
    // Everything written so far.
    std::string Text() const {
        Flush();
        std::string text;
        if (std::FILE* f = std::fopen(m_path.c_str(), "rb")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
            std::fclose(f);
        }
        return text;
    }

private:
    void Flush() const {
        m_stream.flush();
        std::fflush(m_fd == 1 ? stdout : stderr);
    }
    void Restore() {
        if (m_saved < 0) return;
        Flush();
        dup2(m_saved, m_fd);
        close(m_saved);
#ifdef _WIN32
        if (m_mode != -1) _setmode(m_fd, m_mode);
#endif
        m_saved = -1;
    }
    static std::string TempName() {
        static std::atomic<int> counter{0};
        return (std::filesystem::temp_directory_path() /
                ("velqor-capture-" + std::to_string(GetPid()) + "-" + std::to_string(counter++) + ".txt"))
            .string();
    }
    static long GetPid() {
#ifdef _WIN32
        return static_cast<long>(_getpid());
#else
        return static_cast<long>(getpid());
#endif
    }
    std::ostream& m_stream;
    int m_fd;
    int m_saved = -1;
    int m_mode = -1;
    std::string m_path;
};

inline Json::Value ParseJson(const std::string& text) {
    Json::Value v;
    Json::CharReaderBuilder b;
    std::string errors;
    std::istringstream in(text);
    if (!Json::parseFromStream(b, in, &v, &errors)) ADD_FAILURE() << "not JSON: " << text << " " << errors;
    return v;
}

inline std::vector<Json::Value> ParseLines(const std::string& text) {
    std::vector<Json::Value> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) out.push_back(ParseJson(line));
    return out;
}

// Polls cond every 10 ms until it holds or the timeout passes.
inline bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 20000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

class Collector {
public:
    // The collector started by the test fixture: its port is in the file named
    // by VELQOR_COLLECTOR_PORT_FILE.
    Collector() {
        static const bool curlReady = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
        (void)curlReady;
        std::wstring file;
        if (!Utils::GetEnv(L"VELQOR_COLLECTOR_PORT_FILE", file) || file.empty()) return;
        file = testing_support::HostPath(file);
        std::string text;
        if (Utils::ReadFileBytes(file, text)) m_port = std::atoi(text.c_str());
    }
    bool Available() const { return m_port > 0; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::string Url() const { return Base() + "/sa?project=pc"; }

    std::string Get(const std::string& path) const {
        std::string body;
        CURL* h = curl_easy_init();
        curl_easy_setopt(h, CURLOPT_URL, (Base() + path).c_str());
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, +[](char* d, size_t s, size_t n, void* u) {
            static_cast<std::string*>(u)->append(d, s * n);
            return s * n;
        });
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(h, CURLOPT_TIMEOUT, 10L);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        CURLcode rc = curl_easy_perform(h);
        curl_easy_cleanup(h);
        if (rc != CURLE_OK) ADD_FAILURE() << "collector request " << path << ": " << curl_easy_strerror(rc);
        return body;
    }
    void Reset() const { Get("/reset"); }
    void Mode(const std::string& mode, int count = 0) const {
        Get("/control?mode=" + mode + "&count=" + std::to_string(count));
    }
    std::vector<Json::Value> Records() const { return ParseLines(Get("/records")); }
    Json::Value Stats() const { return ParseJson(Get("/stats")); }

private:
    int m_port = 0;
};

}  // namespace analytics_test
