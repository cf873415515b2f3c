#pragma once
// The downloader interface shared by the three variants and the orchestrator.
// The notification function and the codes are the install pipeline's.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "install/pipeline.h"
#include "transfer/network_options.h"

class CDownloader {
public:
    virtual ~CDownloader() = default;
    // Begins a run on a worker thread and returns at once; results arrive as
    // notifications. May be called again after a run has ended (also from
    // inside its DL_CODE_RETRY notification).
    virtual void Start() = 0;
    // The digest (MD5 or SHA-256, hex) from the URL that the finished file was
    // checked against; empty when the URL carried none or the variant checks
    // nothing. Read while the run's DL_CODE_SUCCESS is handled.
    virtual std::string CheckedDigest() const { return {}; }
};

// Pauses of the downloaders' retry loops, in milliseconds. The defaults are the
// product's; tests and diagnostics pass shorter ones.
struct DownloadDelays {
    uint32_t retryMs = 500;          // single-stream: before another attempt
    uint32_t partRetryMs = 400;      // multi-part: before a part's next attempt
    uint32_t partStartMs = 100;      // multi-part: between starting two parts
    uint32_t monikerRetryMs = 1000;  // URL moniker: after each failed attempt
    // libcurl variants, after a transient failure (no connection, connection
    // reset, a 5xx reply): 1, 2, 4, 8, 8, ... of these units instead of the
    // plain retry pause.
    uint32_t backoffUnitMs = 1000;
};

// What a downloader is built with besides its callback, URL and path: handed
// down from the top of the program, never looked up.
struct DownloaderSettings {
    DownloaderSettings() = default;
    DownloaderSettings(DownloadDelays d) : delays(d) {}  // NOLINT: delays alone are settings

    DownloadDelays delays;
    // Limits of every request: connect timeout, stalled-body limit, probe
    // deadline, keep-alive.
    curl_easy::NetworkLimits limits;
    // False when libcurl's global initialisation failed: the multi-part
    // variant then fails its probe without a request.
    bool curlReady = true;
    // A download failure reason that is no notification (the length probe's
    // status); called on the workers' threads. Empty: dropped.
    std::function<void(const std::wstring& reason)> failureReason;
};

// Makes the downloader for a DownloadType (2 URL moniker, 3 multi-part,
// anything else single-stream).
using DownloaderFactory = std::function<std::unique_ptr<CDownloader>(
    int downloadType, DownloadCallback handler, const std::wstring& url, const std::wstring& packagePath)>;
