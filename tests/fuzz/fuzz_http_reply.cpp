// Fuzz target: a server's reply, read through the real libcurl by the
// downloaders' own code: the HEAD probes of the real URL and the length, the
// single-stream downloader resuming a partial file with a ranged GET, and the
// multi-part downloader's probe and ranged GET of its part (its Content-Range
// and header readers).
//
// Input: the reply to every HEAD request, a zero byte, the reply to every other
// request (no zero byte: the same bytes answer both). A loopback server thread
// in this process sends the reply and closes the connection. Every proxy
// variable names that server, so a redirect to any other host or scheme ends
// there too and nothing leaves the machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <curl/curl.h>

#include "download/curl_client.h"
#include "download/mt_curl_downloader.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// Answers every connection with one of two fixed replies, chosen by the
// request's method, then ends its side of the connection; what the client
// still sends is read and dropped until it closes. Connections are served side
// by side, so a client that keeps one open while it opens another (a reply
// without a length, a connection kept for reuse) never waits on this server.
class ReplyServer {
public:
    ReplyServer() {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        Check(m_listen >= 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        Check(::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0);
        Check(::listen(m_listen, 64) == 0);
        socklen_t len = sizeof(addr);
        Check(::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) == 0);
        m_port = ntohs(addr.sin_port);
        Check(::pipe(m_wake) == 0);
        m_thread = std::thread([this] { Serve(); });
    }
    ~ReplyServer() {
        char c = 0;
        (void)!::write(m_wake[1], &c, 1);
        m_thread.join();
        ::close(m_listen);
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }
    ReplyServer(const ReplyServer&) = delete;
    ReplyServer& operator=(const ReplyServer&) = delete;

    int Port() const { return m_port; }
    void SetReplies(std::string head, std::string other) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_head = std::move(head);
        m_other = std::move(other);
    }

private:
    struct Connection {
        int fd;
        std::string request;
        bool answered;
    };

    void Serve() {
        std::vector<Connection> connections;
        for (;;) {
            std::vector<pollfd> fds = {{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
            for (const auto& c : connections) fds.push_back({c.fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds[0].revents) break;
            for (size_t i = connections.size(); i-- > 0;) {
                if (!fds[i + 2].revents) continue;
                if (!Receive(connections[i])) {
                    ::close(connections[i].fd);
                    connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }
            if (fds[1].revents & POLLIN) {
                int peer = ::accept(m_listen, nullptr, nullptr);
                if (peer >= 0) connections.push_back({peer, {}, false});
            }
        }
        for (const auto& c : connections) ::close(c.fd);
    }

    // False once the connection is done with (the client closed it).
    bool Receive(Connection& c) {
        char buf[4096];
        ssize_t n = ::recv(c.fd, buf, sizeof(buf), 0);
        if (n <= 0) return false;
        if (c.answered) return true;
        c.request.append(buf, static_cast<size_t>(n));
        if (c.request.find("\r\n\r\n") == std::string::npos && c.request.size() < 65536) return true;
        std::string reply;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            reply = c.request.rfind("HEAD ", 0) == 0 ? m_head : m_other;
        }
        // Loopback and small replies: the socket buffer takes them whole.
        size_t sent = 0;
        while (sent < reply.size()) {
            ssize_t w = ::send(c.fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (w <= 0) break;
            sent += static_cast<size_t>(w);
        }
        ::shutdown(c.fd, SHUT_WR);
        c.answered = true;
        return true;
    }

    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::mutex m_mutex;
    std::string m_head, m_other;
    std::thread m_thread;
};

struct Context {
    Context() {
        Check(curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK);
        Utils::SetLogSink([](const std::wstring&) {});  // formatted, not printed
        const std::string proxy = "http://127.0.0.1:" + std::to_string(server.Port());
        for (const char* name : {"http_proxy", "HTTPS_PROXY", "https_proxy", "ALL_PROXY", "all_proxy"})
            ::setenv(name, proxy.c_str(), 1);
        ::unsetenv("NO_PROXY");
        ::unsetenv("no_proxy");
        folder = std::filesystem::temp_directory_path() / ("velqor-fuzz-http-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/files/package.exe";
    }
    ~Context() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    ReplyServer server;
    std::filesystem::path folder;
    std::string url;
};

Context& Shared() {
    static Context context;
    return context;
}

// Limits short enough that a reply that stalls ends the attempt at once (the
// server answers at once or not at all).
curl_easy::NetworkLimits FuzzLimits() {
    curl_easy::NetworkLimits limits;
    limits.connectTimeoutSec = 5;
    limits.lowSpeedBytes = 1;
    limits.lowSpeedTimeSec = 2;
    limits.probeTimeoutSec = 5;
    return limits;
}

// The multi-part downloader's run, restarted once on its retry notification as
// its owner does, until it succeeds or fails.
void RunMultiPart(const std::wstring& url, const std::wstring& path) {
    std::mutex mutex;
    std::condition_variable changed;
    int ended = 0;
    bool retry = false;
    DownloadDelays noDelays;
    noDelays.retryMs = noDelays.partRetryMs = noDelays.partStartMs = noDelays.monikerRetryMs = 0;
    noDelays.backoffUnitMs = 0;
    DownloaderSettings settings(noDelays);
    settings.limits = FuzzLimits();
    CMTCurlDownloader downloader(
        [&](int code, double, const wchar_t*) {
            std::lock_guard<std::mutex> lock(mutex);
            if (code == DL_CODE_RETRY) retry = true;
            if (code == DL_CODE_SUCCESS || code == DL_CODE_FAIL) ended = code;
            changed.notify_all();
        },
        url, path, settings);
    downloader.Start();
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [&] { return ended != 0 || retry; });
        if (ended != 0) break;
        retry = false;
        lock.unlock();
        downloader.Start();
        lock.lock();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Context& context = Shared();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t zero = input.find('\0');
    if (zero == std::string::npos) context.server.SetReplies(input, input);
    else context.server.SetReplies(input.substr(0, zero), input.substr(zero + 1));

    // The probes on their own.
    if (curl_easy::EasyHandle head = CurlClient::Head(context.url, FuzzLimits())) {
        CurlClient::GetRealUrl(head.get());
        double length = CurlClient::GetDownloadFileLength(head.get(), [](const std::wstring& reason) {
            Check(!reason.empty());
        });
        Check(length >= -1.0);
    }
    Check(!CurlClient::GetRealUrl_Str(context.url, FuzzLimits()).empty());
    Check(CurlClient::GetDownloadFileLength_Str(context.url, nullptr, FuzzLimits()) >= -1.0);

    // One single-stream attempt resuming a partial file.
    const std::wstring url = Utils::Utf8ToWide(context.url);
    const std::wstring single = Utils::Utf8ToWide((context.folder / "single.exe").string());
    {
        std::ofstream(Utils::NativePath(single + L".part"), std::ios::binary) << "MZ-partial";
        CurlClient client(url, single, nullptr, nullptr, nullptr, FuzzLimits());
        int result = client.Start();
        if (result == 0) Check(Utils::GetFileSize(single) >= 0);
        std::remove(Utils::NativePath(single).c_str());
    }

    // A multi-part run.
    const std::wstring multi = Utils::Utf8ToWide((context.folder / "multi.exe").string());
    RunMultiPart(url, multi);
    std::remove(Utils::NativePath(multi).c_str());
    return 0;
}

std::vector<std::string> FuzzSeeds() { return {}; }
