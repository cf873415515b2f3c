#include "download/mt_curl_downloader.h"

#include <cinttypes>
#include <cstring>
#include <ctime>

#include "utils/md5.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/text.h"

using curl_easy::CurlText;

namespace {

constexpr int32_t kPartSize = 10485760;  // 10 MiB: one part below 20 MiB, two from 20 MiB
constexpr int kPartFileError = -2;

// "bytes A-B/T" -> A and B; false when the text has another form.
bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        char a = *text, b = *prefix;
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

bool ParseContentRange(const std::string& value, long long& first, long long& last) {
    const char* p = value.c_str();
    while (*p == ' ') ++p;
    if (!StartsWithNoCase(p, "bytes")) return false;
    p += 5;
    while (*p == ' ') ++p;
    char* rest = nullptr;
    first = std::strtoll(p, &rest, 10);
    if (rest == p || *rest != '-') return false;
    p = rest + 1;
    last = std::strtoll(p, &rest, 10);
    return rest != p && *rest == '/';
}

}  // namespace

CMTCurlDownloader::CMTCurlDownloader(DownloadCallback callback, std::wstring url, std::wstring path,
                                     const DownloaderSettings& settings)
    : m_callback(std::move(callback)),
      m_path(std::move(path)),
      m_url(std::move(url)),
      m_limits(settings.limits),
      m_delays(settings.delays),
      m_curlReady(settings.curlReady) {
    Utils::RemoveFile(m_path);
    deletePartFiles();
}

CMTCurlDownloader::~CMTCurlDownloader() {
    m_cancel.Cancel();
    m_runs.Stop();
    m_hasher.reset();
    clearParts();
}

std::wstring CMTCurlDownloader::partPath(const std::wstring& path, int index) {
    return path + L"_" + std::to_wstring(index);
}

void CMTCurlDownloader::deletePartFiles() {
    Utils::RemoveFile(partPath(m_path, 0));
    Utils::RemoveFile(partPath(m_path, 1));
}

void CMTCurlDownloader::Notify(int code, double value, const wchar_t* text) {
    if (m_cancel.IsCancelled()) return;
    if (m_callback) m_callback(code, value, text);
}

void CMTCurlDownloader::Start() {
    if (m_cancel.IsCancelled()) return;
    m_runs.Start(L"ABDEF", [this] { Start_Down(); });
}

void CMTCurlDownloader::clearParts() {
    for (auto& part : m_parts) {
        part->handle.reset();
        if (part->file) std::fclose(part->file);
        part->file = nullptr;
    }
    m_parts.clear();
}

void CMTCurlDownloader::Start_Down() {
    if (m_cancel.IsCancelled()) return;
    Notify(DL_CODE_START, 1.0, L"");
    DEBUG_LOG(L"start download\r\n");
    const std::string url = curl_easy::NarrowUrl(m_url);
    Utils::RemoveFile(m_path);
    if (m_lastPercent == 0.0) deletePartFiles();
    if (m_realUrl.empty() || m_length < 256) {
        if (!getRealDownloadUrl(url)) {
            Notify(DL_CODE_FAIL, 0.0, L"LibCurl");
            return;
        }
    }
    int32_t count = m_length / kPartSize;
    if (count == 0) count = 1;
    if (count > 2) count = 2;
    const int32_t size = m_length / count;
    for (int32_t i = 0; i < count; ++i) {
        auto part = std::make_unique<DownloadPartNode>();
        const int32_t offset = size * i;
        const int32_t partSize = i == count - 1 ? m_length - offset : size;
        part->partFile = partPath(m_path, i);
        int64_t existing = Utils::GetFileSize(part->partFile);
        if (existing < 0) existing = 0;
        if (existing > partSize) {
            // Longer than its range: not a part of this plan, never continued.
            Utils::RemoveFile(part->partFile);
            existing = 0;
        }
        part->received = existing;
        part->begin = offset;
        part->fileLength = m_length;
        part->next = static_cast<int32_t>(offset + existing);
        part->end = offset + partSize - 1;
        part->handle = curl_easy::NewHandle();
        part->url = m_realUrl;
        part->index = static_cast<size_t>(i);
        if (part->end < part->next) {
            part->status = 0;
        } else {
            part->status = -1;
            part->file = Utils::OpenFile(part->partFile, "ab+");
            if (!part->file) part->status = kPartFileError;
            // Unbuffered: every byte counted by writePart is readable by the
            // hasher's own handle (the writes are whole receive buffers).
            else std::setvbuf(part->file, nullptr, _IONBF, 0);
        }
        m_parts.push_back(std::move(part));
    }
    Utils::DigestKind kind = Utils::DigestKind::Md5;
    if (Utils::UrlDigestKind(m_urlMd5, kind)) {
        std::vector<download_detail::PartFilesHasher::File> files;
        for (auto& part : m_parts)
            files.push_back({part->partFile, static_cast<int64_t>(part->end) - part->begin + 1,
                             static_cast<int64_t>(part->next) - part->begin});
        m_hasher = std::make_unique<download_detail::PartFilesHasher>(kind, std::move(files));
        for (auto& part : m_parts) {
            if (part->status == -1)
                part->hasher = m_hasher.get();
            else
                m_hasher->Ended(part->index);  // complete already, or no file to write
        }
    }
    std::vector<download_detail::RestartableWorker::Handle> partThreads;
    for (auto& part : m_parts) {
        if (part->status != -1) continue;
        if (m_cancel.IsCancelled()) break;
        ++m_runningParts;
        DownloadPartNode* node = part.get();
        auto thread = m_runs.Add(L"DownloadPart", [this, node] { downloadThreadFun(this, node); });
        if (!thread) {
            --m_runningParts;
            break;
        }
        partThreads.push_back(std::move(thread));
        if (!m_cancel.SleepFor(m_delays.partStartMs)) break;
    }
    // Cancelled: the destructor waits for the parts started so far.
    if (m_cancel.IsCancelled()) return;
    m_runs.Add(L"DownloadJoin",
               [this, partThreads = std::move(partThreads)] { waitForFinishThreadFun(this, partThreads); });
}

bool CMTCurlDownloader::getRealDownloadUrl(const std::string& url) {
    m_realUrl.clear();
    m_urlMd5.clear();
    m_validator.clear();
    m_length = 0;
    if (!m_curlReady) return false;
    curl_easy::EasyHandle owner = curl_easy::NewHandle();
    if (!owner) return false;
    CURL* handle = owner.get();
    curl_easy::HeaderList headers(curl_slist_append(nullptr, "Connection: keep-alive"));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    int code = curl_easy::SetUpHead(handle, url, true, m_limits);
    bool ok = code == 0 && curl_easy::PerformRouted(handle, url) == CURLE_OK;
    if (ok) {
        std::string effective = curl_easy::EffectiveUrl(handle);
        if (!effective.empty()) {
            m_realUrl = effective;
            DEBUG_LOG(L"Download File real url %ls\r\n", Utils::Utf8ToWide(m_realUrl).c_str());
            m_urlMd5 = Utils::GetUrlMd5(m_realUrl);
        }
        m_validator = curl_easy::ResumeValidator(handle);
        double length = -1.0;
        long status = 0;
        if (curl_easy::ContentLength(handle, length) == CURLE_OK &&
            curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 200 &&
            status <= 399) {
            // Offsets are 32-bit: a length of 2 GiB or more counts as unknown.
            m_length = length >= 2147483648.0 ? 0 : static_cast<int32_t>(length);
            DEBUG_LOG(L"Download File Length %lld\r\n", static_cast<long long>(m_length));
        }
    }
    return ok && !m_realUrl.empty() && m_length > 255;
}

size_t CMTCurlDownloader::headerPart(char* data, size_t size, size_t count, void* user) {
    auto* part = static_cast<DownloadPartNode*>(user);
    size_t n = size * count;
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.rfind("HTTP/", 0) == 0) {
        part->contentRange.clear();  // a new reply (after a redirect)
    } else if (line.size() > 14 && StartsWithNoCase(line.c_str(), "Content-Range:")) {
        part->contentRange = line.substr(14);
    }
    return n;
}

size_t CMTCurlDownloader::writePart(char* data, size_t size, size_t count, void* user) {
    auto* part = static_cast<DownloadPartNode*>(user);
    if (!part->file || part->next > part->end) return 0;
    if (part->accepted == 0) {
        // Only the exact range asked for may reach the part file.
        long status = 0;
        long long first = -1, last = -1;
        curl_easy_getinfo(part->handle.get(), CURLINFO_RESPONSE_CODE, &status);
        bool ok = status == 206 && ParseContentRange(part->contentRange, first, last) && first == part->next &&
                  last == part->end;
        // The whole file for a range that is the whole file (one part, nothing
        // on disk yet) is the same bytes.
        if (status == 200 && part->next == 0 && part->begin == 0 && part->end + 1 == part->fileLength)
            ok = true;
        part->accepted = ok ? 1 : -1;
        if (!ok)
            DEBUG_LOG(L"range refused: status %ld, Content-Range%ls, wanted %d-%d\r\n", status,
                      Utils::Utf8ToWide(part->contentRange).c_str(), part->next, part->end);
    }
    if (part->accepted < 0) return 0;
    size_t n = size * count;
    size_t room = static_cast<size_t>(part->end - part->next) + 1;
    size_t take = n > room ? room : n;
    size_t written = std::fwrite(data, 1, take, part->file);
    part->next += static_cast<int32_t>(written);
    part->received += static_cast<int64_t>(written);
    if (part->hasher) part->hasher->Grown(part->index, static_cast<int64_t>(part->next) - part->begin);
    return written;
}

int CMTCurlDownloader::partsProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* self = static_cast<CMTCurlDownloader*>(user);
    if (self->m_cancel.IsCancelled()) return 1;  // the owner is going away
    std::lock_guard<std::mutex> lock(self->m_progressMutex);
    int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (now < self->m_lastProgressTime + 1) return 0;
    self->m_lastProgressTime = now;
    double x = 0.0;
    if (self->m_length >= 256) {
        for (auto& part : self->m_parts)
            x += static_cast<double>(part->received.load()) * 100.0 / static_cast<double>(self->m_length);
        if (!self->m_parts.empty() && x > 100.0) return 0;
    }
    if (x - self->m_lastPercent < 1.0) return 0;
    self->m_lastPercent = x;
    self->Notify(DL_CODE_PROGRESS, x / 100, L"");
    return 0;
}

int CMTCurlDownloader::downloadExe(CMTCurlDownloader* self, DownloadPartNode* part) {
    char range[64];
    std::snprintf(range, sizeof(range), "%ld-%ld", static_cast<long>(part->next), static_cast<long>(part->end));
    part->contentRange.clear();
    part->accepted = 0;
    CURL* h = part->handle.get();
    if (!h) return CURLE_FAILED_INIT;
    int code = curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    code |= curl_easy_setopt(h, CURLOPT_URL, part->url.c_str());
    code |= curl_easy_setopt(h, CURLOPT_TIMEOUT, 0L);
    code |= curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    code |= curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CMTCurlDownloader::writePart);
    code |= curl_easy_setopt(h, CURLOPT_WRITEDATA, part);
    code |= curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CMTCurlDownloader::headerPart);
    code |= curl_easy_setopt(h, CURLOPT_HEADERDATA, part);
    code |= curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    code |= curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CMTCurlDownloader::partsProgress);
    code |= curl_easy_setopt(h, CURLOPT_XFERINFODATA, self);
    code |= curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    // The network limits include the low-speed limit: a stalled range ends
    // the attempt (CURLE_OPERATION_TIMEDOUT) and is retried from where it got.
    code |= curl_easy::ApplyTransferPolicy(h, part->url, self->m_limits);
    code |= curl_easy_setopt(h, CURLOPT_RANGE, range);
    code |= curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 131072L);
    const bool resumed = part->next > part->begin;
    part->headers.reset();
    if (resumed && !self->m_validator.empty()) {
        // The rest of a part only while the file is still the one probed.
        part->headers.reset(curl_slist_append(nullptr, ("If-Range: " + self->m_validator).c_str()));
        code |= curl_easy_setopt(h, CURLOPT_HTTPHEADER, part->headers.get());
    }
    if (code != 0) return code;
    code = curl_easy::PerformRouted(h, part->url);
    part->lastStatus = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &part->lastStatus);
    if ((resumed && part->accepted < 0 && part->lastStatus == 200) ||
        (code == CURLE_HTTP_RETURNED_ERROR && part->lastStatus == 416)) {
        DEBUG_LOG(L"the file changed on the server (status %ld)\r\n", part->lastStatus);
        self->m_changed = true;
    }
    if (code == CURLE_OK && part->next <= part->end) code = CURLE_PARTIAL_FILE;  // a shorter range than asked
    if (code != CURLE_OK)
        DEBUG_LOG(L"error:%d:%ls\r\n", code, CurlText(code).c_str());
    else
        DEBUG_LOG(L"curl_easy_cleanup\r\n");
    curl_easy_reset(h);
    part->headers.reset();
    if (code == CURLE_OK && part->file) {
        std::fclose(part->file);
        part->file = nullptr;
    } else if (part->file) {
        std::fflush(part->file);
    }
    part->status = code;
    return code;
}

void CMTCurlDownloader::downloadThreadFun(CMTCurlDownloader* self, DownloadPartNode* part) {
    curl_easy::RetryBudget budget;
    int transient = 0;  // transient failures in a row
    int result = downloadExe(self, part);
    // A changed file cannot be continued by any attempt of this run.
    while (result != 0 && !budget.Exhausted() && !self->m_cancel.IsCancelled() && !self->m_changed) {
        budget.Charge(result);
        DEBUG_LOG(L"CurlDownLoader Code=%d\r\n", result);
        uint32_t pause = self->m_delays.partRetryMs;
        if (curl_easy::IsTransientFailure(result, part->lastStatus))
            pause = curl_easy::BackoffMs(++transient, self->m_delays.backoffUnitMs);
        else
            transient = 0;
        if (!self->m_cancel.SleepFor(pause)) break;
        result = downloadExe(self, part);
    }
    if (part->file) {
        std::fclose(part->file);
        part->file = nullptr;
    }
    if (part->hasher) part->hasher->Ended(part->index);
    --self->m_runningParts;
}

void CMTCurlDownloader::waitForFinishThreadFun(CMTCurlDownloader* self,
                                               const std::vector<download_detail::RestartableWorker::Handle>& parts) {
    for (const auto& part : parts) self->m_runs.Wait(part);
    if (self->m_cancel.IsCancelled()) return;
    int firstBad = 0;
    for (auto& part : self->m_parts) {
        if (part->status != 0) {
            firstBad = part->status;
            break;
        }
    }
    std::string streamed;  // the digest computed while the parts arrived
    if (firstBad == 0) {
        self->m_lastPercent = 0.0;
        bool joined = false;
        if (FILE* first = Utils::OpenFile(self->m_parts[0]->partFile, "ab+")) {
            joined = true;
            std::vector<char> block(256 * 1024);
            for (size_t i = 1; i < self->m_parts.size() && joined; ++i) {
                const std::wstring& name = self->m_parts[i]->partFile;
                FILE* in = Utils::OpenFile(name, "rb+");
                if (!in) {
                    joined = false;
                    break;
                }
                size_t n;
                while ((n = std::fread(block.data(), 1, block.size(), in)) > 0) {
                    if (std::fwrite(block.data(), 1, n, first) != n) {
                        joined = false;
                        break;
                    }
                }
                if (std::ferror(in)) joined = false;
                std::fclose(in);
                DEBUG_LOG(L"partPath::%ls\r\n", name.c_str());
            }
            if (std::fclose(first) != 0) joined = false;
        }
        // The hasher may still be reading the last part file (it ran
        // alongside the copy); it lets go of the files before they are
        // renamed and deleted.
        if (self->m_hasher) streamed = self->m_hasher->Finish();
        self->m_hasher.reset();
        const std::wstring& dest = self->m_path;
        if (joined) joined = Utils::MoveFileTo(self->m_parts[0]->partFile, dest);
        self->deletePartFiles();
        if (!joined) {
            // The parts could not be joined into the destination: a failed run.
            DEBUG_LOG(L"joining the parts into the destination failed\r\n");
            firstBad = kPartFileError;
            Utils::RemoveFile(dest);
        }
    }
    if (firstBad == 0) {
        Utils::DigestKind kind = Utils::DigestKind::Md5;
        self->m_checkedDigest.clear();
        if (Utils::UrlDigestKind(self->m_urlMd5, kind)) {
            std::string actual = streamed;
            if (actual.size() != self->m_urlMd5.size()) {
                DEBUG_LOG(L"the digest is computed from the joined file\r\n");
                actual = Utils::GetFileDigest(self->m_path, kind);
            }
            if (actual.size() == self->m_urlMd5.size() && !Utils::DigestEqual(actual, self->m_urlMd5)) {
                self->Notify(DL_CODE_MESSAGE, 0.0, L"mtcurl文件md5校验失败");
                Utils::RemoveFile(self->m_path);
                self->clearParts();
                if (self->m_retried) {
                    DEBUG_LOG(L"finish recv, md5 chaek failed and retry failed.\r\n");
                    self->Notify(DL_CODE_FAIL, 0.0, L"LibCurl");
                } else {
                    self->m_retried = true;
                    DEBUG_LOG(L"finish recv, md5 chaek failed retry once.\r\n");
                    self->Notify(DL_CODE_RETRY, 0.0, L"LibCurl");
                }
                return;
            }
            self->m_checkedDigest = self->m_urlMd5;
        } else {
            self->Notify(DL_CODE_MESSAGE, 0.0, L"mtcurl获取url-md5失败");
        }
        DEBUG_LOG(L"finish recv\r\n");
        self->clearParts();
        self->Notify(DL_CODE_SUCCESS, 0.0, L"LibCurl");
        return;
    }
    self->m_hasher.reset();  // before the part files may be deleted
    self->clearParts();
    if (self->m_changed.exchange(false)) {
        // Nothing on disk belongs to the file the server has now: the next run
        // probes again (real URL, digest, length, validator) and starts at 0.
        self->m_lastPercent = 0.0;
        self->m_realUrl.clear();
        self->m_length = -1;
    }
    if (self->m_lastPercent == 0.0) self->deletePartFiles();
    if (self->m_retried) {
        self->m_lastPercent = 0.0;
        self->Notify(DL_CODE_FAIL, static_cast<double>(firstBad), L"LibCurl");
    } else {
        self->m_retried = true;
        self->Notify(DL_CODE_RETRY, static_cast<double>(firstBad), L"LibCurl");
    }
}
