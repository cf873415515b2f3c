#pragma once
// The transport: an in-memory record queue with a staging file for records
// left unsent at exit, and batches posted as gzip + Base64 + percent-encoded
// form bodies ("data_list=...&gzip=1").
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zm_analytics {

struct HttpReply {
    long code = -1;    // HTTP status, or -1 when the transfer failed
    std::string body;  // reply body, or libcurl's error text
    std::map<std::string, std::string> headers;
};

// gzip (deflate level 9, gzip wrapper); false on a zlib failure (message on stderr).
bool GzipCompress(const std::string& input, std::string& output);
std::string Base64Encode(const std::string& bytes);
// Letters, digits, "-", ".", "_", "~" unchanged; every other byte as %XX (upper case).
std::string PercentEncode(const std::string& text);
// The whole form body for a batch ("data_list=" + encoded + "&gzip=1"); false on a gzip failure.
bool EncodeBatch(const std::string& batchJson, std::string& body);
// One POST with a fresh libcurl handle; the peer's certificate is verified.
HttpReply HttpPost(const std::string& url, const std::string& body, long timeoutMs);
// Splits one received header line into name and value (see HttpPost).
void ParseHeaderLine(const std::string& line, std::map<std::string, std::string>& headers);

// The process-wide "last send succeeded" flag (initially false).
bool LastSendSucceeded();
void SetLastSendSucceeded(bool ok);

class BatchSender {
public:
    static constexpr long kDefaultTimeoutMs = 3000;
    explicit BatchSender(std::string serverUrl) : m_url(std::move(serverUrl)) {}
    bool Send(const std::string& batchJson);
    const std::string& Url() const { return m_url; }

    // The request timeout of every sender (tests shorten it).
    static void SetTimeoutMs(long ms);
    static long TimeoutMs();

private:
    std::string m_url;
};

class RecordQueue {
public:
    static constexpr size_t kMaxRecords = 1024;
    static constexpr size_t kBatchSize = 30;

    RecordQueue(std::string serverUrl, std::string stagingFile);
    ~RecordQueue();
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    void Add(std::string record);
    // Later batches go to this server (waits for a send in progress).
    void SetServerUrl(const std::string& url);
    bool Flush();
    bool FlushPart();
    void Close();

    size_t Size();
    std::vector<std::string> Snapshot();
    const std::string& StagingFile() const { return m_stagingFile; }

private:
    void LoadStagedLocked();

    std::deque<std::string> m_records;
    std::mutex m_recordsLock;
    std::mutex m_sendingLock;
    std::string m_stagingFile;
    size_t m_maxRecords = kMaxRecords;
    bool m_needLoad = true;
    std::unique_ptr<BatchSender> m_sender;
};

}  // namespace zm_analytics
