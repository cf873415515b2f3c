#include "download/curl_downloader.h"

#include <cstdio>

#include "utils/md5.h"
#include "utils/fs.h"
#include "utils/log.h"

CCurlDownloader::CCurlDownloader(DownloadCallback callback, std::wstring url, std::wstring path,
                                 const DownloaderSettings& settings)
    : m_callback(std::move(callback)),
      m_path(std::move(path)),
      m_url(std::move(url)),
      m_client(m_url, m_path, this, &CCurlDownloader::ProgressSink, settings.failureReason, settings.limits),
      m_delays(settings.delays) {
    // Only attempts within the life of this object resume.
    Utils::RemoveFile(m_client.GetFilePath(true));
}

CCurlDownloader::~CCurlDownloader() {
    m_cancel.Cancel();
    m_client.Cancel();
    m_runs.Stop();
}

void CCurlDownloader::Start() {
    if (m_cancel.IsCancelled()) return;
    m_runs.Start(L"ABDEF", [this] { dlThreadFun(); });
}

void CCurlDownloader::Notify(int code, double value, const wchar_t* text) {
    if (m_cancel.IsCancelled()) return;
    if (m_callback) m_callback(code, value, text);
}

void CCurlDownloader::ProgressSink(void* owner, double speed, double, double percent) {
    auto* self = static_cast<CCurlDownloader*>(owner);
    if (speed > 0 && percent <= 100) self->Notify(DL_CODE_PROGRESS, percent / 100, L"");
}

void CCurlDownloader::dlThreadFun() {
    if (m_cancel.IsCancelled()) return;
    Notify(DL_CODE_START, 1.0, L"");
    if (m_path.empty()) Notify(DL_CODE_FAIL, 1.0, L"");
    int result = m_client.Start();
    curl_easy::RetryBudget budget;
    int transient = 0;  // transient failures in a row
    while (result != 0) {
        if (m_cancel.IsCancelled()) return;
        budget.Charge(result);
        if (budget.Exhausted()) {
            Notify(DL_CODE_FAIL, static_cast<double>(result), L"LibCurl");
            return;
        }
        DEBUG_LOG(L"CurlDownLoader Code=%d\r\n", result);
        // A server or network that may recover is given growing pauses.
        uint32_t pause = m_delays.retryMs;
        if (curl_easy::IsTransientFailure(result, m_client.LastStatus()))
            pause = curl_easy::BackoffMs(++transient, m_delays.backoffUnitMs);
        else
            transient = 0;
        if (!m_cancel.SleepFor(pause)) return;
        result = m_client.Start();
    }
    std::string expected = Utils::GetUrlMd5(m_client.RealUrl());
    Utils::DigestKind kind = Utils::DigestKind::Md5;
    m_checkedDigest.clear();
    if (Utils::UrlDigestKind(expected, kind)) {
        // The digest (MD5 or SHA-256) was computed while the file was
        // written; it is read back only when that was not possible.
        std::string actual = m_client.Digest();
        if (actual.size() != expected.size()) actual = Utils::GetFileDigest(m_path, kind);
        if (actual.size() == expected.size() && !Utils::DigestEqual(actual, expected)) {
            Notify(DL_CODE_MESSAGE, 0.0, L"curl文件md5校验失败");
            if (m_retried) {
                Notify(DL_CODE_FAIL, 0.0, L"LibCurl");
            } else {
                m_retried = true;
                Notify(DL_CODE_RETRY, 0.0, L"LibCurl");
            }
            return;
        }
        m_checkedDigest = expected;
    } else {
        Notify(DL_CODE_MESSAGE, 0.0, L"curl获取url-md5失败");
    }
    Notify(DL_CODE_SUCCESS, 0.0, L"LibCurl");
}
