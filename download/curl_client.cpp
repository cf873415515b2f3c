#include "download/curl_client.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <memory>
#include <vector>

#include "utils/md5.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/text.h"

using curl_easy::ContentLength;
using curl_easy::CurlText;

namespace {

// "1.获取文件大小的状态码为=%ld；" reported as a download failure reason.
void ReportLengthStatus(long status, const CurlClient::FailureReason& failureReason) {
    if (!failureReason) return;
    wchar_t text[200];
    std::swprintf(text, 200, L"1.获取文件大小的状态码为=%ld；", status);
    failureReason(text);
}

}  // namespace

CurlClient::CurlClient(std::wstring url, std::wstring path, void* owner, ProgressSink sink,
                       FailureReason failureReason, const curl_easy::NetworkLimits& limits)
    : m_url(std::move(url)),
      m_path(std::move(path)),
      m_owner(owner),
      m_sink(sink),
      m_failureReason(std::move(failureReason)),
      m_limits(limits) {}

void CurlClient::Forget() {
    m_realUrl.clear();
    m_totalLength = -1.0;
    m_validator.clear();
}

size_t CurlClient::OnHeader(char* data, size_t size, size_t count, void* client) {
    auto* self = static_cast<CurlClient*>(client);
    const size_t n = size * count;
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        self->m_contentRange.clear();  // a new reply (after a redirect)
        return n;
    }
    if (line.size() > 14 && Utils::ToLower(Utils::Utf8ToWide(line.substr(0, 14))) == L"content-range:") {
        self->m_contentRange = line.substr(14);
        return n;
    }
    if (!line.empty() || self->m_resumeOffset <= 0) return n;
    // The end of a reply's headers.
    long status = 0;
    curl_easy_getinfo(self->m_handle.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status == 200) {
        // The whole file instead of its rest: with If-Range, it has changed.
        DEBUG_LOG(L"resumed request answered with the whole file\r\n");
        self->m_notResumed = true;
        return 0;
    }
    if (status == 206) {
        long long first = -1;
        const char* p = self->m_contentRange.c_str();
        while (*p == ' ') ++p;
        if (std::strncmp(p, "bytes ", 6) == 0) first = std::strtoll(p + 6, nullptr, 10);
        if (first != self->m_resumeOffset) {
            DEBUG_LOG(L"resumed request answered with another range:%ls\r\n",
                      Utils::Utf8ToWide(self->m_contentRange).c_str());
            self->m_notResumed = true;
            return 0;
        }
    }
    return n;
}

CurlClient::~CurlClient() {
    m_cancel = true;
    Utils::RemoveFile(GetFilePath(true));
}

size_t CurlClient::WriteToFile(char* data, size_t size, size_t count, void* client) {
    auto* self = static_cast<CurlClient*>(client);
    size_t written = std::fwrite(data, 1, size * count, self->m_file);
    if (self->m_md5) self->m_md5->Push(data, written);
    return written;
}

void CurlClient::BeginDigest(const std::wstring& partPath) {
    // Only a package whose URL names its digest is checked.
    Utils::DigestKind kind = Utils::DigestKind::Md5;
    if (!Utils::UrlDigestKind(Utils::GetUrlMd5(m_realUrl), kind)) return;
    m_md5 = std::make_unique<download_detail::HashPipe>(kind);
    if (!m_md5->Valid()) {
        m_md5.reset();
        return;
    }
    if (m_resumeOffset <= 0) return;
    FILE* in = Utils::OpenFile(partPath, "rb");
    if (!in) {
        m_md5.reset();
        return;
    }
    std::vector<char> block(128 * 1024);
    int64_t left = m_resumeOffset;
    while (left > 0) {
        size_t n = std::fread(block.data(), 1, static_cast<size_t>(std::min<int64_t>(left, block.size())), in);
        if (n == 0) break;
        m_md5->Push(block.data(), n);
        left -= static_cast<int64_t>(n);
    }
    std::fclose(in);
    if (left != 0) m_md5.reset();  // the file changed under us: hash it afterwards instead
}

int CurlClient::Start() {
    DEBUG_LOG(L"start download\r\n");
    const std::wstring partPath = GetFilePath(true);
    const std::wstring& destPath = m_path;
    const std::string url = curl_easy::NarrowUrl(m_url);
    int result = 0;
    FILE* file = nullptr;
    m_digest.clear();
    m_md5.reset();
    m_lastStatus = 0;
    curl_easy::HeaderList headers;

    if (m_realUrl.empty() || m_totalLength < kMinimumLength) {
        if (curl_easy::EasyHandle head = Head(url, m_limits)) {
            m_realUrl = GetRealUrl(head.get());
            m_totalLength = GetDownloadFileLength(head.get(), m_failureReason);
            m_validator = curl_easy::ResumeValidator(head.get());
        }
    }
    if (m_realUrl.empty() || m_totalLength < kMinimumLength) {
        m_realUrl = GetRealUrl_Str(url, m_limits);
        if (!m_realUrl.empty()) m_totalLength = GetDownloadFileLength_Str(m_realUrl, m_failureReason, m_limits);
    }
    if (m_totalLength < kMinimumLength) {
        result = kLengthUnknown;
    } else if (!(m_handle = curl_easy::NewHandle())) {
        result = kNoHandle;
    } else if (!(file = Utils::OpenFile(partPath, "ab+"))) {
        int err = errno;
        m_errorText = Utils::AnsiToWide(std::strerror(err)).substr(0, 200);
        result = kPartialFileError;
    } else {
        m_resumeOffset = Utils::GetFileSize(GetFilePath(true));
        std::vector<std::string> lines = {"Connection: keep-alive", "Accept-Encoding: gzip, deflate"};
        // A changed file is never spliced: the server sends the rest only while
        // the file is still the one probed, else the whole file.
        if (m_resumeOffset > 0 && !m_validator.empty()) lines.push_back("If-Range: " + m_validator);
        for (const std::string& line : lines) {
            curl_slist* more = curl_slist_append(headers.get(), line.c_str());
            if (!more) break;
            (void)headers.release();
            headers.reset(more);
        }
        CURL* h = m_handle.get();
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(h, CURLOPT_TIMEOUT, 0L);
        int codes = curl_easy_setopt(h, CURLOPT_URL, m_realUrl.c_str());
        codes |= curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        codes |= curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurlClient::WriteToFile);
        m_file = file;
        codes |= curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
        codes |= curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        codes |= curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CurlClient::ProgressCallback);
        codes |= curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
        codes |= curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
        codes |= curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CurlClient::OnHeader);
        codes |= curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
        codes |= curl_easy::ApplyTransferPolicy(h, m_realUrl, m_limits);
        // The body may not be longer than the HEAD reply announced.
        if (m_totalLength > 0) codes |= curl_easy::LimitBodySize(h, static_cast<curl_off_t>(m_totalLength));
        // Large receive buffers: fewer write calls for a package of hundreds of MiB.
        codes |= curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 131072L);
        // The rest of the file is asked for as a range (not libcurl's resume,
        // which refuses a whole-file answer before it can be looked at).
        char range[32];
        if (m_resumeOffset > 0) {
            std::snprintf(range, sizeof(range), "%lld-", static_cast<long long>(m_resumeOffset));
            codes |= curl_easy_setopt(h, CURLOPT_RANGE, range);
        }
        result = codes;
        m_notResumed = false;
        m_contentRange.clear();
        m_lastStatus = 0;
        if (result == 0) {
            BeginDigest(partPath);
            result = curl_easy::PerformRouted(h, m_realUrl);
            curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &m_lastStatus);
        }
    }
    DEBUG_LOG(L"error:%d:%ls\r\n", result, CurlText(result).c_str());
    m_handle.reset();
    m_file = nullptr;
    if (file && std::fclose(file) != 0 && result == 0) result = CURLE_WRITE_ERROR;
    if (m_notResumed || (result == CURLE_HTTP_RETURNED_ERROR && m_lastStatus == 416)) {
        // What is on disk cannot be continued: the file changed on the server
        // (If-Range answered with the whole file, or the range is past its
        // end) or the server does not resume. The next attempt starts from the
        // first byte and learns the real URL (its digest), length and
        // validator again.
        Utils::RemoveFile(partPath);
        Forget();
        if (m_notResumed) result = CURLE_RANGE_ERROR;
    }
    if (result == 0) {
        Utils::RemoveFile(destPath);
        if (!Utils::MoveFileTo(partPath, destPath)) result = kRenameFailed;
        else if (m_md5) m_digest = m_md5->Finish();
    }
    m_md5.reset();
    DEBUG_LOG(L"end download\r\n");
    return result;
}

int CurlClient::ProgressCallback(void* client, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
    CurlClient* self = static_cast<CurlClient*>(client);
    if (self->m_cancel) return 1;
    int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (now < self->m_lastProgressTime + 1) return 0;
    self->m_lastProgressTime = now;
    curl_off_t bytesPerSecond = 0;
    if (!self->m_handle || curl_easy_getinfo(self->m_handle.get(), CURLINFO_SPEED_DOWNLOAD_T, &bytesPerSecond) != CURLE_OK)
        bytesPerSecond = 0;
    double speed = static_cast<double>(bytesPerSecond);
    double percent;
    if (self->m_totalLength > kMinimumLength) {
        int64_t resumed = self->m_resumeOffset > 0 ? self->m_resumeOffset : 0;
        percent = static_cast<double>(dlnow + resumed) / self->m_totalLength * 100.0;
    } else {
        if (dlnow <= 0 || dltotal <= 0) return 0;
        percent = static_cast<double>(dlnow) * 100.0 / static_cast<double>(dltotal);
    }
    if (percent == 0.0) return 0;
    if (self->m_sink) self->m_sink(self->m_owner, speed, 0.0, percent);
    if (dltotal != 0) {
        DEBUG_LOG(L" %dM %dM   progress:%f%%  speed:%f \n", static_cast<int>(dlnow / 1048576),
                  static_cast<int>(dltotal / 1048576), percent, speed / 1024);
    }
    return 0;
}

curl_easy::EasyHandle CurlClient::Head(const std::string& url, const curl_easy::NetworkLimits& limits) {
    curl_easy::EasyHandle handle = curl_easy::NewHandle();
    if (!handle) return nullptr;
    int code = curl_easy::SetUpHead(handle.get(), url, true, limits);
    if (code == 0) {
        code = curl_easy::PerformRouted(handle.get(), url);
        if (code != 0) DEBUG_LOG(L"error:%d:%ls\r\n", code, CurlText(code).c_str());
    }
    DEBUG_LOG(L"error:%d:%ls\r\n", code, CurlText(code).c_str());
    return handle;
}

std::string CurlClient::GetRealUrl(CURL* handle) { return curl_easy::EffectiveUrl(handle); }

double CurlClient::GetDownloadFileLength(CURL* handle, const FailureReason& failureReason) {
    double length = -1.0;
    int code = ContentLength(handle, length);
    DEBUG_LOG(L"error:%d:%ls\r\n", code, CurlText(code).c_str());
    long status = 0;
    if (curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 200 && status <= 399)
        return length;
    ReportLengthStatus(status, failureReason);
    return -1.0;
}

std::string CurlClient::GetRealUrl_Str(const std::string& url, const curl_easy::NetworkLimits& limits) {
    std::string result;
    if (curl_easy::EasyHandle handle = curl_easy::NewHandle()) {
        int code = curl_easy::SetUpHead(handle.get(), url, true, limits);
        if (code == 0) {
            code = curl_easy::PerformRouted(handle.get(), url);
            if (code != 0)
                DEBUG_LOG(L"error:%d:%ls\r\n", code, CurlText(code).c_str());
            else
                result = GetRealUrl(handle.get());
        }
    }
    return result.empty() ? url : result;
}

double CurlClient::GetDownloadFileLength_Str(const std::string& url, const FailureReason& failureReason,
                                             const curl_easy::NetworkLimits& limits) {
    double length = -1.0;
    curl_easy::EasyHandle handle = curl_easy::NewHandle();
    if (!handle) return length;
    // The reply to this very URL: redirects are not followed.
    int code = curl_easy::SetUpHead(handle.get(), url, false, limits);
    code |= curl_easy_setopt(handle.get(), CURLOPT_HEADER, 1L);
    if (code == 0) {
        curl_easy::PerformRouted(handle.get(), url);
        ContentLength(handle.get(), length);
        long status = 0;
        code = curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
        if (code != CURLE_OK || status < 200 || status > 400) ReportLengthStatus(status, failureReason);
    }
    DEBUG_LOG(L"error:%d:%ls\r\n", code, CurlText(code).c_str());
    return length;
}
