#include "app/configured_downloads.h"

#include "analytics/reporting.h"
#include "config/launch_config.h"
#include "download/downloader_factory.h"
#include "install/failure_report.h"

DownloaderFactory ConfiguredDownloaderFactory(const LaunchConfig& config) {
    DownloaderSettings settings;
    settings.curlReady = config.CurlReady;
    // Every request bounded: 60 s to connect, a body slower than 1 KiB/s for
    // 30 s is a failed attempt, a probe ends within 60 s.
    settings.limits = curl_easy::NetworkLimits{};
    settings.failureReason = [](const std::wstring& reason) {
        ReportTaskEvent(install_checks::kDownloadFailureEvent, 0.0f, reason, {{L"AB", L"IN"}});
    };
    return MakeDownloaderFactory(std::move(settings));
}
