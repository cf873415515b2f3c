#pragma once
// The default downloader: one libcurl stream through CurlClient, retried with a
// budget that is kinder to truncated transfers than to other failures, resuming
// from the partial file, then checked against the MD5 carried in the real URL.
#include <atomic>
#include <string>

#include "download/cancel_token.h"
#include "download/curl_client.h"
#include "download/downloader.h"
#include "download/restartable_worker.h"

class CCurlDownloader : public CDownloader {
public:
    CCurlDownloader(DownloadCallback callback, std::wstring url, std::wstring path,
                    const DownloaderSettings& settings = {});
    // Cancels the transfer in progress and waits for every thread it started;
    // no notification is sent once destruction has begun.
    ~CCurlDownloader() override;
    void Start() override;
    std::string CheckedDigest() const override { return m_checkedDigest; }

private:
    static void ProgressSink(void* owner, double speed, double reserved, double percent);
    void dlThreadFun();
    void Notify(int code, double value, const wchar_t* text);

    DownloadCallback m_callback;
    std::wstring m_path;
    std::wstring m_url;
    CurlClient m_client;
    DownloadDelays m_delays;
    std::atomic<bool> m_retried{false};
    std::string m_checkedDigest;  // set by the run before its DL_CODE_SUCCESS
    download_detail::CancelToken m_cancel;
    download_detail::RestartableWorker m_runs;
};
