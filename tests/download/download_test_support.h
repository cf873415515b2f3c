#pragma once
// Support for the download tests: the local download server (started by the
// test program natively, by a ctest fixture for Windows builds under Wine), the
// generated packages it serves, and a recorder of notifications that behaves
// like the installer's orchestrator (DL_CODE_RETRY -> Start again).
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "download/downloader.h"

namespace dltest {

struct Request {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string Header(const std::string& name) const;  // "" when absent
};

class Server {
public:
    static Server& Get();
    // A second server speaking HTTPS with a self-signed certificate (native only).
    static Server& GetTls();
    bool Running() const { return m_port > 0; }
    // The TLS server's certificate (PEM file), for a client that trusts it.
    const std::string& CertFile() const { return m_certFile; }
    std::string Base() const;  // "http://127.0.0.1:PORT" ("https://" for the TLS server)
    std::string Url(const std::string& path) const { return Base() + path; }
    // Every request whose path contains tag, in arrival order.
    std::vector<Request> Requests(const std::string& tag) const;
    // The Range headers of the GET requests whose path contains tag ("" when none).
    std::vector<std::string> GetRanges(const std::string& tag) const;
    int DeadPort() const;
    // The port of the HTTP proxy (tinyproxy) run beside the server; 0 when none.
    int ProxyPort() const;
    std::string Fetch(const std::string& path) const;  // a small GET of the server's own pages

private:
    explicit Server(bool tls);
    int m_port = 0;
    bool m_tls = false;
    std::string m_certFile;
};

// The name and bytes of a package that the server generates.
std::string GenName(int64_t size, int seed);
std::string GenMd5(int64_t size, int seed);
// True when the file holds exactly the generated package.
bool FileIsGenerated(const std::wstring& path, int64_t size, int seed);
// A tag unique to the running test (letters, digits, '-').
std::string TestTag();

// The system's proxy setting for the life of the object: natively the
// variables libcurl reads (http_proxy, no_proxy emptied), under Windows the
// user's Internet settings (a fixed proxy, or with pacUrl an automatic
// configuration script instead). An empty proxy changes nothing.
class ProxySetting {
public:
    explicit ProxySetting(const std::string& proxy, const std::string& pacUrl = "");
    ~ProxySetting();
    ProxySetting(const ProxySetting&) = delete;
    ProxySetting& operator=(const ProxySetting&) = delete;

private:
    bool m_active;
};

struct Note {
    int code;
    double value;
    std::wstring text;
    int64_t second;  // wall-clock second it arrived in
    uint32_t thread;
};

class Recorder {
public:
    DownloadCallback Callback();
    // The downloader the recorder restarts on DL_CODE_RETRY (as the installer does).
    void Attach(CDownloader* downloader);
    // Waits until `endings` DL_CODE_SUCCESS/DL_CODE_FAIL have arrived.
    bool WaitForEnd(int endings = 1, int seconds = 120);
    // Waits until a notification with this code has arrived.
    bool WaitFor(int code, int seconds = 60);
    // No notification may arrive after this.
    void Seal();
    bool LateNotification() const;

    std::vector<Note> Notes() const;
    std::vector<Note> Progress() const;
    // Everything but progress, as "1001 | 1006 <text> | 1005 <value> | 1004 <value> | 1003".
    std::string Summary() const;
    // All ending/retry notifications carry this tag.
    bool TagsAre(const std::wstring& tag) const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Note> m_notes;
    CDownloader* m_downloader = nullptr;
    bool m_sealed = false;
    bool m_late = false;
};

}  // namespace dltest
