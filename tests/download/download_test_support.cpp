#include "download_test_support.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "utils/md5.h"
#include "utils/process.h"
#include "utils/text.h"
#include "utils/thread.h"
#include "utils/time.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include "utils/fs.h"

#ifndef _WIN32
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace dltest {

namespace {

class CurlEnvironment : public ::testing::Environment {
public:
    void SetUp() override { curl_global_init(CURL_GLOBAL_ALL); }
    void TearDown() override { curl_global_cleanup(); }
};
[[maybe_unused]] auto* const g_curlEnvironment = ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

constexpr int kPeriod = 65521;

std::string GenBlock(int seed) {
    std::string block(kPeriod, '\0');
    for (int j = 0; j < kPeriod; ++j)
        block[j] = static_cast<char>(((static_cast<uint64_t>(j) * 2654435761ull + static_cast<uint64_t>(seed) * 40503ull) >> 13) & 0xFF);
    return block;
}

// Feeds the generated package to f in pieces.
template <class F>
void ForEachGenerated(int64_t size, int seed, F f) {
    std::string block = GenBlock(seed);
    std::string doubled = block + block;
    int64_t pos = 0;
    while (pos < size) {
        int64_t n = std::min<int64_t>(size - pos, kPeriod);
        f(doubled.data() + pos % kPeriod, static_cast<size_t>(n));
        pos += n;
    }
}

#ifndef _WIN32
struct Child {
    pid_t pid = -1;
    std::string dir;
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
        if (!dir.empty()) {
            std::remove((dir + "/port").c_str());
            rmdir(dir.c_str());
        }
    }
};
#endif

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::string Request::Header(const std::string& name) const {
    for (auto& h : headers) {
        if (Utils::ToLower(Utils::Utf8ToWide(h.first)) == Utils::ToLower(Utils::Utf8ToWide(name))) return h.second;
    }
    return {};
}

Server& Server::Get() {
    static Server server(false);
    return server;
}

Server& Server::GetTls() {
    static Server server(true);
    return server;
}

Server::Server(bool tls) : m_tls(tls) {
#ifdef _WIN32
    const char* portFile = std::getenv("VELQOR_DOWNLOAD_SERVER_PORT_FILE");
    if (!portFile || tls) return;
    m_port = std::atoi(ReadFirstLine(portFile).c_str());
#else
    static Child children[2];
    Child& child = children[tls ? 1 : 0];
    char pattern[] = "/tmp/velqor-dlserver-XXXXXX";
    if (!mkdtemp(pattern)) return;
    child.dir = pattern;
    const std::string portFile = child.dir + "/port";
    const std::string parent = std::to_string(getpid());
    std::vector<std::string> args = {"python3", VELQOR_DOWNLOAD_SERVER_SCRIPT, "--port-file", portFile,
                                     "--parent-pid", parent, "--max-seconds", "1200"};
    if (tls) {
        m_certFile = child.dir + "/cert.pem";
        args.insert(args.end(), {"--tls", "--cert-out", m_certFile});
    } else {
        args.push_back("--proxy");
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&child.pid, "python3", nullptr, nullptr, argv.data(), environ) != 0) {
        child.pid = -1;
        return;
    }
    // The server writes its port file once it listens.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        std::string line = ReadFirstLine(portFile);
        if (!line.empty()) {
            m_port = std::atoi(line.c_str());
            return;
        }
        int status = 0;
        if (waitpid(child.pid, &status, WNOHANG) == child.pid) {
            child.pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
#endif
}

std::string Server::Base() const {
    return (m_tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(m_port);
}

std::string Server::Fetch(const std::string& path) const {
    std::string body;
    CURL* h = curl_easy_init();
    if (!h) return body;
    std::string url = Url(path);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(h, CURLOPT_PROXY, "");  // never through a proxy a test has set up
    if (m_tls) {
        // The tests' own look at the server's log; the downloaders always verify.
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    curl_easy_perform(h);
    curl_easy_cleanup(h);
    return body;
}

std::vector<Request> Server::Requests(const std::string& tag) const {
    std::vector<Request> out;
    std::istringstream in(Fetch("/_requests/" + tag));
    std::string line;
    Request current;
    bool open = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) {
            if (open) out.push_back(current);
            current = Request();
            open = false;
            continue;
        }
        if (!open) {
            std::istringstream first(line);
            first >> current.method >> current.path;
            open = true;
        } else {
            size_t colon = line.find(':');
            if (colon == std::string::npos) continue;
            std::string value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') value.erase(0, 1);
            current.headers.emplace_back(line.substr(0, colon), value);
        }
    }
    if (open) out.push_back(current);
    return out;
}

std::vector<std::string> Server::GetRanges(const std::string& tag) const {
    std::vector<std::string> ranges;
    for (auto& r : Requests(tag))
        if (r.method == "GET") ranges.push_back(r.Header("Range"));
    return ranges;
}

int Server::DeadPort() const { return std::atoi(Fetch("/_deadport").c_str()); }

int Server::ProxyPort() const { return std::atoi(Fetch("/_proxyport").c_str()); }

std::string GenName(int64_t size, int seed) {
    return "gen-" + std::to_string(size) + "-" + std::to_string(seed) + ".bin";
}

std::string GenMd5(int64_t size, int seed) {
    Utils::Md5 md5;
    ForEachGenerated(size, seed, [&](const char* p, size_t n) { md5.Update(p, n); });
    return md5.HexDigest();
}

bool FileIsGenerated(const std::wstring& path, int64_t size, int seed) {
#ifdef _WIN32
    FILE* f = _wfopen(path.c_str(), L"rb");
#else
    FILE* f = std::fopen(Utils::WideToUtf8(path).c_str(), "rb");
#endif
    if (!f) return false;
    bool same = true;
    std::string buffer;
    ForEachGenerated(size, seed, [&](const char* p, size_t n) {
        if (!same) return;
        buffer.resize(n);
        same = std::fread(buffer.data(), 1, n, f) == n && std::memcmp(buffer.data(), p, n) == 0;
    });
    if (same) same = std::fgetc(f) == EOF;  // nothing beyond the package
    std::fclose(f);
    return same;
}

std::string TestTag() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string tag = "tag-";
    std::string raw = info ? std::string(info->test_suite_name()) + "-" + info->name() : "none";
    for (char c : raw) tag.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '-');
    static int counter = 0;
    tag += "-" + std::to_string(++counter) + "-" + std::to_string(Utils::CurrentProcessId());
    return tag;
}

#ifdef _WIN32
namespace {

// The Internet settings as the system keeps them: the classic values (read by
// WinINet, so by the URL moniker) and the connection blob WinHTTP reads
// (version 0x46, a change counter, flags, then length-prefixed proxy, bypass
// list and configuration script URL; flags 1 direct, 2 fixed proxy, 4 script).
void WriteInternetSettings(bool enable, const std::string& proxy, const std::string& pacUrl) {
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) == 0) {
        DWORD on = enable && pacUrl.empty() ? 1 : 0;
        std::wstring server = Utils::Utf8ToWide(enable ? proxy : "");
        std::wstring pac = Utils::Utf8ToWide(enable ? pacUrl : "");
        RegSetValueExW(h, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof(on));
        RegSetValueExW(h, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                       static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
        if (pac.empty())
            RegDeleteValueW(h, L"AutoConfigURL");
        else
            RegSetValueExW(h, L"AutoConfigURL", 0, REG_SZ, reinterpret_cast<const BYTE*>(pac.c_str()),
                           static_cast<DWORD>((pac.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(h);
    }
    std::string blob;
    auto dword = [&](uint32_t v) { blob.append(reinterpret_cast<const char*>(&v), 4); };
    auto text = [&](const std::string& t) {
        dword(static_cast<uint32_t>(t.size()));
        blob += t;
    };
    static uint32_t counter = 1;
    const bool fixed = enable && pacUrl.empty();
    const bool script = enable && !pacUrl.empty();
    dword(0x46);
    dword(++counter);
    dword(1u | (fixed ? 2u : 0u) | (script ? 4u : 0u));
    text(fixed ? proxy : "");
    text("");
    text(script ? pacUrl : "");
    blob.append(32, '\0');
    const std::wstring connections = key + L"\\Connections";
    if (RegCreateKeyExW(HKEY_CURRENT_USER, connections.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                        nullptr) == 0) {
        RegSetValueExW(h, L"DefaultConnectionSettings", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                       static_cast<DWORD>(blob.size()));
        RegCloseKey(h);
    }
}

}  // namespace
#endif

ProxySetting::ProxySetting(const std::string& proxy, const std::string& pacUrl) : m_active(!proxy.empty()) {
    if (!m_active) return;
#ifdef _WIN32
    WriteInternetSettings(true, proxy, pacUrl);
#else
    (void)pacUrl;
    Utils::SetEnv(L"http_proxy", Utils::Utf8ToWide("http://" + proxy));
    Utils::SetEnv(L"no_proxy", L"");
    Utils::SetEnv(L"NO_PROXY", L"");
#endif
}

ProxySetting::~ProxySetting() {
    if (!m_active) return;
#ifdef _WIN32
    WriteInternetSettings(false, "", "");
#else
    Utils::SetEnv(L"http_proxy", L"");
#endif
}

DownloadCallback Recorder::Callback() {
    return [this](int code, double value, const wchar_t* text) {
        CDownloader* restart = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_sealed) {
                m_late = true;
                return;
            }
            m_notes.push_back(Note{code, value, text ? text : L"", static_cast<int64_t>(std::time(nullptr)),
                                   Utils::CurrentThreadId()});
            if (code == DL_CODE_RETRY) restart = m_downloader;
        }
        m_cv.notify_all();
        if (restart) restart->Start();
    };
}

void Recorder::Attach(CDownloader* downloader) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_downloader = downloader;
}

bool Recorder::WaitForEnd(int endings, int seconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(seconds), [&] {
        int n = 0;
        for (auto& note : m_notes) n += note.code == DL_CODE_SUCCESS || note.code == DL_CODE_FAIL;
        return n >= endings;
    });
}

bool Recorder::WaitFor(int code, int seconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(seconds), [&] {
        for (auto& note : m_notes)
            if (note.code == code) return true;
        return false;
    });
}

void Recorder::Seal() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sealed = true;
}

bool Recorder::LateNotification() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_late;
}

std::vector<Note> Recorder::Notes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_notes;
}

std::vector<Note> Recorder::Progress() const {
    std::vector<Note> out;
    for (auto& n : Notes())
        if (n.code == DL_CODE_PROGRESS) out.push_back(n);
    return out;
}

std::string Recorder::Summary() const {
    std::string out;
    for (auto& n : Notes()) {
        if (n.code == DL_CODE_PROGRESS) continue;
        if (!out.empty()) out += " | ";
        out += std::to_string(n.code);
        if (n.code == DL_CODE_MESSAGE) out += " " + Utils::WideToUtf8(n.text);
        if (n.code == DL_CODE_FAIL || n.code == DL_CODE_RETRY) {
            char v[32];
            std::snprintf(v, sizeof(v), " %g", n.value);
            out += v;
        }
    }
    return out;
}

bool Recorder::TagsAre(const std::wstring& tag) const {
    for (auto& n : Notes()) {
        bool tagged = n.code == DL_CODE_SUCCESS || n.code == DL_CODE_FAIL || n.code == DL_CODE_RETRY;
        if (tagged && n.text != tag) return false;
    }
    return true;
}

}  // namespace dltest
