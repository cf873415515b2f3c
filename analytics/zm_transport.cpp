#include "analytics/zm_transport.h"

#include "analytics/zm_core.h"

#include <curl/curl.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <string>

#include "analytics/zm_core.h"
#include "transfer/curl_easy.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/text.h"

namespace zm_analytics {

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

size_t WriteHeader(char* data, size_t size, size_t count, void* user) {
    ParseHeaderLine(std::string(data, size * count), *static_cast<std::map<std::string, std::string>*>(user));
    return size * count;
}

// Milliseconds since 1970 as decimal digits into out (room for 20); returns
// the count. No allocation, no lock.
size_t FormatMs(int64_t ms, char* out) {
    char rev[20];
    size_t n = 0;
    uint64_t v = ms < 0 ? 0 : static_cast<uint64_t>(ms);
    do {
        rev[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < sizeof rev);
    for (size_t i = 0; i < n; ++i) out[i] = rev[n - 1 - i];
    return n;
}

}  // namespace

bool GzipCompress(const std::string& input, std::string& output) {
    output.clear();
    z_stream zs{};
    if (deflateInit2(&zs, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        ErrorLine("deflateInit2 failed while compressing.");
        return false;
    }
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    zs.avail_in = static_cast<uInt>(input.size());
    char chunk[32768];
    int rc;
    do {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        rc = deflate(&zs, Z_FINISH);
        output.append(chunk, sizeof chunk - zs.avail_out);
    } while (rc == Z_OK);
    if (rc != Z_STREAM_END) {
        ErrorLine("Exception during zlib compression: (" + std::to_string(rc) + ") " + (zs.msg ? zs.msg : ""));
        deflateEnd(&zs);
        output.clear();
        return false;
    }
    deflateEnd(&zs);
    return true;
}

std::string Base64Encode(const std::string& bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0, n = bytes.size();
    for (; i + 2 < n; i += 3) {
        uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < n) {
        uint32_t v = p[i] << 16;
        if (i + 1 < n) v |= p[i + 1] << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string PercentEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3 / 2);
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

bool EncodeBatch(const std::string& batchJson, std::string& body) {
    std::string gz;
    if (!GzipCompress(batchJson, gz)) return false;
    body = "data_list=" + PercentEncode(Base64Encode(gz)) + "&gzip=1";
    return true;
}

void ParseHeaderLine(const std::string& line, std::map<std::string, std::string>& headers) {
    auto colon = line.find(':');
    if (colon == std::string::npos) {
        std::string name = Trim(line);
        if (!name.empty()) headers[name] = "present";
        return;
    }
    headers[Trim(line.substr(0, colon))] = Trim(line.substr(colon + 1));
}

HttpReply HttpPost(const std::string& url, const std::string& body, long timeoutMs) {
    HttpReply reply;
    curl_easy::EasyHandle handle = curl_easy::NewHandle();
    CURL* curl = handle.get();
    if (!curl) {
        reply.body = "Couldn't initialize curl handle";
        ErrorLine(reply.body);
        return reply;
    }
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    // Uploads carry the installation's identity: the server must prove who it
    // is, which the common transfer policy requires of every request.
    curl_easy::ApplyTransferPolicy(curl, url);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, WriteHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "ZmAnalytics CPP SDK 0.9");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Through the system's proxy, as the package's downloads go (direct when
    // the proxy cannot be reached).
    CURLcode rc = curl_easy::PerformRouted(curl, url);
    if (rc != CURLE_OK) {
        reply.code = -1;
        reply.body = curl_easy_strerror(rc);
        return reply;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    reply.code = status;
    return reply;
}

bool BatchSender::Send(const std::string& batchJson) {
    std::string body;
    bool ok = false;
    if (EncodeBatch(batchJson, body)) {
        HttpReply reply = HttpPost(m_url, body, TimeoutMs());
        ok = reply.code == 200;
        if (!ok) {
            DEBUG_LOG(L"[analytics] ZmAnalytics SDK send failed\r\n");
            ErrorLine("ZmAnalytics SDK send failed: " + reply.body);
        }
    }
    m_lastOk = ok;
    return ok;
}

RecordQueue::RecordQueue(std::string serverUrl, std::string stagingFile, long timeoutMs)
    : m_stagingFile(std::move(stagingFile)),
      m_timeoutMs(timeoutMs),
      m_sender(std::make_unique<BatchSender>(std::move(serverUrl), timeoutMs)) {
    if (m_stagingFile.empty()) return;
    ReadStagingFile();
    std::lock_guard<std::mutex> g(m_recordsLock);
    RewriteStagingLocked();  // only the records read back stay in the file
}

RecordQueue::~RecordQueue() = default;

std::wstring RecordQueue::StagingPath() const { return Utils::AnsiToWide(m_stagingFile); }

void RecordQueue::ReadStagingFile() {
    const std::wstring path = StagingPath();
    const int64_t size = Utils::GetFileSize(path);
    if (size <= 0) return;
    if (size > kMaxStagingBytes) {
        DEBUG_LOG(L"[analytics] staging file of %lld bytes skipped\r\n", static_cast<long long>(size));
        ErrorLine("ZmAnalytics SDK: staging file of " + std::to_string(size) + " bytes skipped");
        return;
    }
    std::string bytes;
    if (!Utils::ReadFileBytes(path, bytes)) return;
    size_t skipped = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        // The text after the last line feed is a line torn by a process that
        // ended while appending it: never a whole record.
        if (end == std::string::npos) {
            ++skipped;
            break;
        }
        std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line.front() != '{' || line.back() != '}') {
            ++skipped;
            continue;
        }
        m_staged.push_back(std::move(line));
        if (m_staged.size() > m_maxRecords) m_staged.pop_front();
    }
    if (skipped != 0) {
        DEBUG_LOG(L"[analytics] %u unreadable staged lines dropped\r\n", static_cast<unsigned>(skipped));
        ErrorLine("ZmAnalytics SDK: " + std::to_string(skipped) + " unreadable staged lines dropped");
    }
}

void RecordQueue::RewriteStagingLocked() {
    if (m_stagingFile.empty()) return;
    std::string bytes;
    for (const auto* list : {&m_staged, &m_records}) {
        for (const auto& r : *list) {
            bytes += r;
            bytes += '\n';
        }
    }
    // The append handle is closed while the file is replaced (Windows refuses
    // to replace a file that is open without delete sharing on some systems)
    // and opened again on the new file.
    m_append.Close();
    const std::wstring path = StagingPath();
    if (!Utils::WriteFileAtomically(path, bytes))
        DEBUG_LOG(L"[analytics] staging file could not be rewritten\r\n");
    m_append.Open(path);
}

void RecordQueue::Add(std::string record) {
    std::lock_guard<std::mutex> g(m_recordsLock);
    if (m_append.IsOpen()) {
        std::string line = record + '\n';
        m_append.Append(line.data(), line.size());
    }
    m_records.push_back(std::move(record));
    // The file keeps the dropped record until its next rewrite; reading keeps
    // only the newest records, so it never comes back ahead of newer ones.
    if (m_records.size() > m_maxRecords) m_records.pop_front();
}

size_t RecordQueue::Size() {
    std::lock_guard<std::mutex> g(m_recordsLock);
    return m_records.size();
}

std::vector<std::string> RecordQueue::Snapshot() {
    std::lock_guard<std::mutex> g(m_recordsLock);
    return {m_records.begin(), m_records.end()};
}

void RecordQueue::LoadStagedLocked() {
    if (!m_needLoad) return;
    m_needLoad = false;
    size_t room = m_maxRecords - std::min(m_maxRecords, m_records.size());
    bool dropped = m_staged.size() > room;
    while (m_staged.size() > room) m_staged.pop_front();
    m_records.insert(m_records.begin(), std::make_move_iterator(m_staged.begin()),
                     std::make_move_iterator(m_staged.end()));
    m_staged.clear();
    if (dropped) RewriteStagingLocked();
}

bool RecordQueue::FlushPart() {
    {
        std::lock_guard<std::mutex> g(m_recordsLock);
        LoadStagedLocked();
    }
    std::lock_guard<std::mutex> sending(m_sendingLock);
    std::vector<std::string> taken;
    {
        std::lock_guard<std::mutex> g(m_recordsLock);
        size_t n = std::min(kBatchSize, m_records.size());
        taken.assign(std::make_move_iterator(m_records.begin()), std::make_move_iterator(m_records.begin() + n));
        m_records.erase(m_records.begin(), m_records.begin() + n);
    }
    if (taken.empty()) return true;
    std::string batch = "[";
    for (size_t i = 0; i < taken.size(); ++i) {
        if (i) batch += ',';
        batch += taken[i];
    }
    batch += ']';
    bool ok = false;
    try {
        ok = m_sender && m_sender->Send(batch);
    } catch (const std::exception& e) {
        ErrorLine(std::string("Exception when flush failed: (") + e.what() + ") ");
        m_lastOk = false;
        std::lock_guard<std::mutex> g(m_recordsLock);
        RewriteStagingLocked();
        return false;
    }
    m_lastOk = ok;
    std::lock_guard<std::mutex> g(m_recordsLock);
    if (!ok) {
        size_t room = m_maxRecords - std::min(m_maxRecords, m_records.size());
        size_t keep = std::min(room, taken.size());
        m_records.insert(m_records.begin(), std::make_move_iterator(taken.end() - keep),
                         std::make_move_iterator(taken.end()));
        // The file still holds the batch; it changes only when records went.
        if (keep != taken.size()) RewriteStagingLocked();
    } else {
        RewriteStagingLocked();  // the sent records leave the file
    }
    return ok;
}

void RecordQueue::SetServerUrl(const std::string& url) {
    std::lock_guard<std::mutex> sending(m_sendingLock);
    if (m_sender) m_sender = std::make_unique<BatchSender>(url, m_timeoutMs);
}

bool RecordQueue::Flush() {
    {
        std::lock_guard<std::mutex> g(m_recordsLock);
        LoadStagedLocked();
    }
    while (Size() != 0) {
        if (!FlushPart()) return false;
    }
    return true;
}

void RecordQueue::Close() {
    std::lock_guard<std::mutex> sending(m_sendingLock);
    std::lock_guard<std::mutex> g(m_recordsLock);
    LoadStagedLocked();
    RewriteStagingLocked();
    m_append.Close();
    m_sender.reset();
}

void RecordQueue::PrepareCrashRecords(const std::vector<std::string>& records) {
    if (m_crashReady.load() || m_stagingFile.empty()) return;
    std::vector<CrashRecord> prepared;
    for (const std::string& r : records) {
        static const std::string kTime = "\"time\":";
        size_t at = r.rfind(kTime);
        if (at == std::string::npos) continue;
        size_t digits = at + kTime.size();
        size_t end = r.find(',', digits);
        if (end == std::string::npos) continue;
        CrashRecord c;
        c.before = r.substr(0, digits);
        c.after = r.substr(end);
        c.line.assign(1 + c.before.size() + 20 + c.after.size() + 1, '\0');
        prepared.push_back(std::move(c));
    }
    m_crash = std::move(prepared);
    m_crashReady.store(true, std::memory_order_release);
}

bool RecordQueue::WriteCrashRecords() {
    if (!m_crashReady.load(std::memory_order_acquire)) return false;
    if (m_crashWritten.test_and_set()) return false;
    char digits[20];
    size_t n = FormatMs(NowMilliseconds(), digits);
    bool ok = true;
    for (CrashRecord& c : m_crash) {
        // A line feed first: a line another thread was appending when the
        // crash stopped it stays a line of its own (dropped when read).
        char* out = c.line.data();
        size_t len = 0;
        out[len++] = '\n';
        std::memcpy(out + len, c.before.data(), c.before.size());
        len += c.before.size();
        std::memcpy(out + len, digits, n);
        len += n;
        std::memcpy(out + len, c.after.data(), c.after.size());
        len += c.after.size();
        out[len++] = '\n';
        ok = m_append.Append(out, len) && ok;
    }
    return ok;
}

}  // namespace zm_analytics
