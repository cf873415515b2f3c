#include "analytics/zm_transport.h"

#include <curl/curl.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <iostream>

#include "transfer/curl_easy.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/text.h"

namespace zm_analytics {

namespace {

std::mutex g_flagLock;
bool g_lastSendSucceeded = false;
std::atomic<long> g_timeoutMs{BatchSender::kDefaultTimeoutMs};

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


std::wstring StagingPathW(const std::string& path) { return Utils::AnsiToWide(path); }

}  // namespace

bool LastSendSucceeded() {
    std::lock_guard<std::mutex> g(g_flagLock);
    return g_lastSendSucceeded;
}

void SetLastSendSucceeded(bool ok) {
    std::lock_guard<std::mutex> g(g_flagLock);
    g_lastSendSucceeded = ok;
}

bool GzipCompress(const std::string& input, std::string& output) {
    output.clear();
    z_stream zs{};
    if (deflateInit2(&zs, 9, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        std::cerr << "deflateInit2 failed while compressing." << std::endl;
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
        std::cerr << "Exception during zlib compression: (" << rc << ") " << (zs.msg ? zs.msg : "") << std::endl;
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
        std::cerr << reply.body << std::endl;
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
    CURLcode rc = curl_easy_perform(curl);
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

void BatchSender::SetTimeoutMs(long ms) { g_timeoutMs.store(ms > 0 ? ms : kDefaultTimeoutMs); }
long BatchSender::TimeoutMs() { return g_timeoutMs.load(); }

bool BatchSender::Send(const std::string& batchJson) {
    std::string body;
    bool ok = false;
    if (EncodeBatch(batchJson, body)) {
        HttpReply reply = HttpPost(m_url, body, TimeoutMs());
        ok = reply.code == 200;
        if (!ok) {
            DEBUG_LOG(L"[analytics] ZmAnalytics SDK send failed\r\n");
            std::cerr << "ZmAnalytics SDK send failed: " << reply.body << std::endl;
        }
    }
    SetLastSendSucceeded(ok);
    return ok;
}

RecordQueue::RecordQueue(std::string serverUrl, std::string stagingFile)
    : m_stagingFile(std::move(stagingFile)), m_sender(std::make_unique<BatchSender>(std::move(serverUrl))) {}

RecordQueue::~RecordQueue() = default;

void RecordQueue::Add(std::string record) {
    std::lock_guard<std::mutex> g(m_recordsLock);
    m_records.push_back(std::move(record));
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
    const std::wstring path = StagingPathW(m_stagingFile);
    if (m_stagingFile.empty() || !Utils::FileExists(path)) return;
    size_t room = m_maxRecords - std::min(m_maxRecords, m_records.size());
    if (room != 0) {
        std::string bytes;
        if (Utils::ReadFileBytes(path, bytes)) {
            std::deque<std::string> kept;
            size_t pos = 0;
            while (pos < bytes.size()) {
                size_t end = bytes.find('\n', pos);
                if (end == std::string::npos) end = bytes.size();
                std::string line = bytes.substr(pos, end - pos);
                pos = end + 1;
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line.empty() || line.front() != '{' || line.back() != '}') continue;
                kept.push_back(std::move(line));
                if (kept.size() > room) kept.pop_front();
            }
            m_records.insert(m_records.begin(), kept.begin(), kept.end());
        }
    }
    Utils::WriteFileBytes(path, "");
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
        std::cerr << "Exception when flush failed: (" << e.what() << ") " << std::endl;
        return false;
    }
    if (!ok) {
        std::lock_guard<std::mutex> g(m_recordsLock);
        size_t room = m_maxRecords - std::min(m_maxRecords, m_records.size());
        size_t keep = std::min(room, taken.size());
        m_records.insert(m_records.begin(), std::make_move_iterator(taken.end() - keep),
                         std::make_move_iterator(taken.end()));
    }
    return ok;
}

void RecordQueue::SetServerUrl(const std::string& url) {
    std::lock_guard<std::mutex> sending(m_sendingLock);
    if (m_sender) m_sender = std::make_unique<BatchSender>(url);
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
    if (!m_stagingFile.empty()) {
        std::string bytes;
        for (const auto& r : m_records) {
            bytes += r;
            bytes += '\n';
        }
        Utils::WriteFileBytes(StagingPathW(m_stagingFile), bytes);
    }
    m_sender.reset();
}

}  // namespace zm_analytics
