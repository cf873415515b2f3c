#pragma once
// The libcurl helper of the single-stream downloader: learns the package's real
// URL and length with HEAD requests, downloads the body into "<path>.part"
// (kept across failed attempts so that the next attempt resumes), reports
// progress at most once a second and renames the partial file to the
// destination when the transfer is complete.
#include <curl/curl.h>

#include <atomic>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "transfer/curl_easy.h"
#include "download/hash_pipe.h"

class CurlClient {
public:
    // (owner, speed in bytes/s, reserved 0.0, percent 0-100)
    using ProgressSink = void (*)(void* owner, double speed, double reserved, double percent);
    // A download failure reason that is no result code (the length probe's status).
    using FailureReason = std::function<void(const std::wstring& reason)>;

    // Codes of the helper's own (libcurl's are positive).
    static constexpr int kPartialFileError = -996;  // the partial file cannot be opened
    static constexpr int kNoHandle = -997;          // no libcurl handle
    static constexpr int kLengthUnknown = -998;     // no length, or under 1 MiB
    static constexpr int kRenameFailed = -995;      // complete, but not movable into place
    static constexpr double kMinimumLength = 1048576.0;

    CurlClient(std::wstring url, std::wstring path, void* owner, ProgressSink sink = nullptr,
               FailureReason failureReason = nullptr, const curl_easy::NetworkLimits& limits = {});
    ~CurlClient();
    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    // One blocking attempt: 0 on success, a libcurl code or a negative code above.
    int Start();
    // Aborts a running transfer at its next progress call (and every later one).
    void Cancel() { m_cancel = true; }

    static int ProgressCallback(void* client, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                                curl_off_t ulnow);
    // A handle on which a HEAD request has been performed; null when no handle
    // could be created.
    static curl_easy::EasyHandle Head(const std::string& url, const curl_easy::NetworkLimits& limits = {});
    static std::string GetRealUrl(CURL* handle);
    static double GetDownloadFileLength(CURL* handle, const FailureReason& failureReason = nullptr);
    static std::string GetRealUrl_Str(const std::string& url, const curl_easy::NetworkLimits& limits = {});
    static double GetDownloadFileLength_Str(const std::string& url, const FailureReason& failureReason = nullptr,
                                            const curl_easy::NetworkLimits& limits = {});

    // The destination, or the partial file ("<path>.part").
    std::wstring GetFilePath(bool partial) const { return partial ? m_path + L".part" : m_path; }
    const std::string& RealUrl() const { return m_realUrl; }
    double TotalLength() const { return m_totalLength; }
    const std::wstring& ErrorText() const { return m_errorText; }
    // The HTTP status of the last body request's reply (0 when none came).
    long LastStatus() const { return m_lastStatus; }
    // The digest of the destination file of the kind its real URL names (MD5,
    // or SHA-256 for a 64-hex segment), hashed while it was written by the
    // last successful Start (lower-case hex); "" when not available.
    const std::string& Digest() const { return m_digest; }

private:
    static size_t WriteToFile(char* data, size_t size, size_t count, void* client);
    // Checks a reply's status before its body: a resumed request must be
    // answered with exactly the rest of the file.
    static size_t OnHeader(char* data, size_t size, size_t count, void* client);
    // The next attempt learns the real URL, length and validator anew.
    void Forget();
    // Starts the running digest with what the partial file already holds.
    void BeginDigest(const std::wstring& partPath);

    std::wstring m_url;
    std::wstring m_path;
    void* m_owner;
    curl_easy::EasyHandle m_handle;  // during a transfer
    ProgressSink m_sink;
    FailureReason m_failureReason;
    double m_totalLength = -1.0;
    int64_t m_resumeOffset = -1;
    int64_t m_lastProgressTime = 0;
    std::atomic<bool> m_cancel{false};
    std::wstring m_errorText;
    std::string m_realUrl;
    curl_easy::NetworkLimits m_limits;
    std::string m_validator;  // If-Range of a resumed request, from the probe
    long m_lastStatus = 0;
    // Per attempt: the reply's Content-Range, and a resumed request answered
    // with something else than its range (the file changed on the server, or
    // the server does not resume).
    std::string m_contentRange;
    bool m_notResumed = false;
    FILE* m_file = nullptr;  // the partial file during a transfer
    std::unique_ptr<download_detail::HashPipe> m_md5;
    std::string m_digest;
};
