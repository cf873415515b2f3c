#pragma once
// The downloader interface shared by the three variants and the orchestrator.
#include <cstdint>
#include <functional>
#include <string>

// Notification function of the whole install pipeline: (code, value, text).
// Called on the workers' threads, never on the caller's.
using DownloadCallback = std::function<void(int code, double value, const wchar_t* text)>;

enum DownloadCode {
    DL_CODE_START = 1001,
    DL_CODE_PROGRESS = 1002,
    DL_CODE_SUCCESS = 1003,
    DL_CODE_FAIL = 1004,
    DL_CODE_RETRY = 1005,
    DL_CODE_MESSAGE = 1006,
};

class CDownloader {
public:
    virtual ~CDownloader() = default;
    // Begins a run on a worker thread and returns at once; results arrive as
    // notifications. May be called again after a run has ended (also from
    // inside its DL_CODE_RETRY notification).
    virtual void Start() = 0;
};

// Pauses of the downloaders' retry loops, in milliseconds. The defaults are the
// product's; tests and diagnostics pass shorter ones.
struct DownloadDelays {
    uint32_t retryMs = 500;          // single-stream: before another attempt
    uint32_t partRetryMs = 400;      // multi-part: before a part's next attempt
    uint32_t partStartMs = 100;      // multi-part: between starting two parts
    uint32_t monikerRetryMs = 1000;  // URL moniker: after each failed attempt
};
