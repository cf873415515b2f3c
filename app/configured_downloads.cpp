#include "app/configured_downloads.h"

#include "analytics/reporting.h"
#include "config/launch_config.h"
#include "download/downloader_factory.h"
#include "install/failure_report.h"

DownloaderFactory ConfiguredDownloaderFactory(const LaunchConfig& config) {
    DownloaderSettings settings;
    settings.curlReady = config.CurlReady;
    settings.failureReason = [](const std::wstring& reason) {
        ReportTaskEvent(install_checks::kDownloadFailureEvent, 0.0f, reason, {{L"AB", L"IN"}});
    };
    return MakeDownloaderFactory(std::move(settings));
}
