#pragma once
// The multi-part downloader: libcurl in one byte range (packages under 20 MiB)
// or two (20 MiB and more) on parallel threads, each range into its own part
// file "<path>_<index>" that survives a failed run with reported progress so
// that the retry run resumes it; then the parts are joined into the
// destination and its MD5 is compared with the one in the real URL. The
// digest is computed while the parts arrive (PartFilesHasher) and the joined
// file is read back only when that digest cannot be trusted.
#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/cancel_token.h"
#include "transfer/curl_easy.h"
#include "download/downloader.h"
#include "download/part_hasher.h"
#include "download/restartable_worker.h"

struct DownloadPartNode {
    FILE* file = nullptr;
    int32_t next = 0;  // offset of the next byte to fetch
    int32_t end = 0;   // offset of the part's last byte (inclusive)
    int32_t begin = 0; // offset of the part's first byte
    int32_t fileLength = 0;  // the whole package's length
    curl_easy::EasyHandle handle;
    std::string url;
    std::wstring partFile;
    int status = -1;  // -1 pending, 0 complete, -2 no part file, else libcurl code
    std::atomic<int64_t> received{0};
    // Per attempt: the reply's Content-Range, and whether its body may be
    // written (a 206 whose range is exactly the one asked for).
    std::string contentRange;
    int accepted = 0;  // 0 not yet checked, 1 accepted, -1 refused
    curl_easy::HeaderList headers;  // of the attempt in progress
    long lastStatus = 0;            // of the last attempt's reply
    size_t index = 0;                                       // in the plan
    download_detail::PartFilesHasher* hasher = nullptr;     // the run's, when its digest is checked
};

class CMTCurlDownloader : public CDownloader {
public:
    CMTCurlDownloader(DownloadCallback callback, std::wstring url, std::wstring path,
                      const DownloaderSettings& settings = {});
    // Cancels every transfer and waits for the worker, the part threads and the
    // joiner; no notification is sent once destruction has begun.
    ~CMTCurlDownloader() override;
    void Start() override;
    std::string CheckedDigest() const override { return m_checkedDigest; }

    static std::wstring partPath(const std::wstring& path, int index);

private:
    void Start_Down();
    bool getRealDownloadUrl(const std::string& url);
    static int downloadExe(CMTCurlDownloader* self, DownloadPartNode* part);
    static size_t writePart(char* data, size_t size, size_t count, void* part);
    static size_t headerPart(char* data, size_t size, size_t count, void* part);
    static int partsProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static void downloadThreadFun(CMTCurlDownloader* self, DownloadPartNode* part);
    static void waitForFinishThreadFun(CMTCurlDownloader* self,
                                       const std::vector<download_detail::RestartableWorker::Handle>& parts);
    void clearParts();
    void deletePartFiles();
    void Notify(int code, double value, const wchar_t* text);

    std::vector<std::unique_ptr<DownloadPartNode>> m_parts;
    DownloadCallback m_callback;
    std::wstring m_path;
    std::wstring m_url;
    std::string m_realUrl;
    int32_t m_length = -1;
    std::string m_urlMd5;
    std::string m_checkedDigest;  // set by the run before its DL_CODE_SUCCESS
    std::string m_validator;  // If-Range of a resumed part, from the probe
    // A resumed part found the file changed on the server (its validator no
    // longer holds, or its range lies past the end): the run's parts cannot
    // be joined, the retry run starts afresh with a new probe.
    std::atomic<bool> m_changed{false};
    curl_easy::NetworkLimits m_limits;
    double m_lastPercent = 0.0;
    std::atomic<int> m_runningParts{0};
    int64_t m_lastProgressTime = 0;
    std::mutex m_progressMutex;  // lastProgressTime and lastPercent
    std::atomic<bool> m_retried{false};
    // Follows the part files of the running run; set by Start_Down before the
    // part threads start, released by the joiner after they have ended.
    std::unique_ptr<download_detail::PartFilesHasher> m_hasher;
    DownloadDelays m_delays;
    bool m_curlReady = true;
    download_detail::CancelToken m_cancel;
    // The worker ("ABDEF"), the part threads and the joiner of every run.
    download_detail::RestartableWorker m_runs;
};
