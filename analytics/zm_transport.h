#pragma once
// The transport: an in-memory record queue mirrored by a staging file, and
// batches posted as gzip + Base64 + percent-encoded form bodies
// ("data_list=...&gzip=1").
//
// The staging file holds every record not yet sent, so that neither a killed
// process nor a crash loses them: a record is appended to it when it is
// queued, the file is rewritten atomically (a new file replacing the old one)
// after every batch and at the end, and the next run sends what it holds
// first. A torn last line (a process killed while appending) and any other
// line that is not a record are dropped on reading; a file that is too large
// to be a queue is skipped whole. Each skip leaves one diagnostic line.
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "utils/fs.h"

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

class BatchSender {
public:
    static constexpr long kDefaultTimeoutMs = 3000;
    explicit BatchSender(std::string serverUrl, long timeoutMs = kDefaultTimeoutMs)
        : m_url(std::move(serverUrl)), m_timeoutMs(timeoutMs > 0 ? timeoutMs : kDefaultTimeoutMs) {}
    bool Send(const std::string& batchJson);
    const std::string& Url() const { return m_url; }
    long TimeoutMs() const { return m_timeoutMs; }
    // Whether the last Send succeeded (false before the first).
    bool LastSendSucceeded() const { return m_lastOk.load(); }

private:
    std::string m_url;
    long m_timeoutMs;
    std::atomic<bool> m_lastOk{false};
};

class RecordQueue {
public:
    static constexpr size_t kMaxRecords = 1024;
    static constexpr size_t kBatchSize = 30;
    // A staging file larger than this is not a queue this program wrote.
    static constexpr int64_t kMaxStagingBytes = 16 * 1024 * 1024;

    // An empty stagingFile keeps records in memory only. The file's earlier
    // content (the unsent records of an earlier run) is read here and joins
    // the queue, in front, at the first flush.
    RecordQueue(std::string serverUrl, std::string stagingFile, long timeoutMs = BatchSender::kDefaultTimeoutMs);
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
    // Whether the last batch was accepted (false before the first).
    bool LastSendSucceeded() const { return m_lastOk.load(); }

    // Keeps records made in advance (complete JSON records whose "time" is
    // set when they are written) for WriteCrashRecords. Only the first call
    // counts.
    void PrepareCrashRecords(const std::vector<std::string>& records);
    // Appends the prepared records, stamped with the current time, to the
    // staging file, for the next run to send. Takes no lock and allocates
    // nothing: it is meant for a crash handler, while other threads may be
    // stopped anywhere. Writes once; false when nothing was prepared.
    bool WriteCrashRecords();

private:
    void LoadStagedLocked();
    void ReadStagingFile();
    void RewriteStagingLocked();
    std::wstring StagingPath() const;

    std::deque<std::string> m_records;
    std::mutex m_recordsLock;
    std::mutex m_sendingLock;
    std::string m_stagingFile;
    size_t m_maxRecords = kMaxRecords;
    bool m_needLoad = true;
    std::deque<std::string> m_staged;  // an earlier run's records, until loaded
    long m_timeoutMs;
    std::unique_ptr<BatchSender> m_sender;
    std::atomic<bool> m_lastOk{false};
    Utils::AppendFile m_append;  // the staging file, open for appending

    // A prepared record: the text around its time value, and room for the
    // whole line so that writing it needs no allocation.
    struct CrashRecord {
        std::string before;  // up to and including "\"time\":"
        std::string after;   // from the "," after the time value
        std::string line;    // sized for "\n" + before + 20 digits + after + "\n"
    };
    std::vector<CrashRecord> m_crash;
    std::atomic<bool> m_crashReady{false};
    std::atomic_flag m_crashWritten = ATOMIC_FLAG_INIT;
};

}  // namespace zm_analytics
