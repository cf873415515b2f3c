// The installer's reporting calls over the process-wide tracker.
#include "analytics/reporting.h"

#include <clocale>
#include <cstdio>
#include <memory>

#include "analytics/tracker.h"
#include "analytics/zm_core.h"
#include "config/launch_config.h"
#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/sysinfo.h"
#include "utils/text.h"
#include "utils/time.h"

using namespace zelmox::analytics;

namespace {

// The tracker to report to, or null when reports are to be dropped.
std::shared_ptr<AnalyticsTracker> ActiveTracker() {
    if (!GetLaunchConfig().IsEnableAppAnalytics) return nullptr;
    return GlobalTracker;
}

// The A/B group of the extra properties, attached to one event kind.
void ApplyExtra(ZmContextProperties& context, const ExtraProperties& extra, int kind) {
    auto it = extra.find(L"AB");
    if (it == extra.end()) return;
    std::string value = Utils::WideToUtf8(it->second);
    if (ZmContextProperties::isValidABValue(value)) context.setProperty({kind}, value);
}

}  // namespace

void InitAnalytics(const AnalyticsPlacement& placement) {
    const LaunchConfig& cfg = GetLaunchConfig();
    if (!cfg.IsEnableAppAnalytics) return;
    ZmTrackerConfig config;
    config.appName = Utils::WideToUtf8(cfg.ProductId + cfg.DlAppNameSuffix);
    config.appVersion = Utils::WideToUtf8(cfg.AppVersion);
    std::wstring exe = cfg.ExeName.empty() ? Utils::FileNameOf(Utils::GetModulePath()) : cfg.ExeName;
    config.appStore = Utils::WideToUtf8(exe);
    config.dlAppId = Utils::WideToUtf8(cfg.ProductId);
    config.dlAppVersion = Utils::WideToUtf8(cfg.m_DlAppVersion);
    config.edition = 0;
    config.serverUrl = Utils::WideToUtf8(cfg.AnalyticsUrl);  // empty: the maker's endpoint
    config.baseFolder = placement.baseFolder;
    config.sendTimeoutMs = placement.sendTimeoutMs;
    try {
        CreateAnalyticsTracker(config);
    } catch (...) {
    }
    BeginCrashReport();
}

void BeginCrashReport() {
    if (!GetLaunchConfig().IsEnableAppAnalytics) return;
    auto* wrapper = dynamic_cast<AnalyticsTrackerWrapper*>(GlobalTracker.get());
    if (!wrapper || !wrapper->impl()) return;
    try {
        wrapper->impl()->prepareCrashReport([] {
            ReportTaskEvent(L"崩溃退出", 0.0f, L"", {{L"AB", L"IN"}});
            ReportCrash();
        });
    } catch (...) {
    }
}

void WriteCrashReport() {
    if (!GetLaunchConfig().IsEnableAppAnalytics) return;
    zm_analytics::Sdk::WriteCrashRecords();
}

void ShutdownAnalytics() { GlobalTracker.reset(); }

void SetAnalyticsServer(const std::wstring& url) {
    auto* wrapper = dynamic_cast<AnalyticsTrackerWrapper*>(GlobalTracker.get());
    if (!wrapper || !wrapper->impl()) return;
    try {
        wrapper->impl()->setServerUrl(Utils::WideToUtf8(url));
    } catch (...) {
    }
}

void ReportTaskEvent(const std::wstring& name, float elapsedSeconds, const std::wstring& reason,
                     ExtraProperties extra) {
    auto tracker = ActiveTracker();
    if (!tracker) return;
    try {
        ZmContextProperties context;
        ApplyExtra(context, extra, Task);
        ZmEventTask event;
        event.name = Utils::WideToUtf8(name);
        event.reason = Utils::WideToUtf8(reason);
        event.elapsed = std::make_shared<float>(elapsedSeconds);
        event.result = std::make_shared<int>(Success);
        tracker->trackTask(event, context);
    } catch (...) {
    }
}

void ReportClickEvent(const std::wstring& name, ExtraProperties extra) {
    auto tracker = ActiveTracker();
    if (!tracker) return;
    try {
        ZmContextProperties context;
        ApplyExtra(context, extra, Click);
        ZmEventClick event;
        event.name = Utils::WideToUtf8(name);
        event.clickType = Button;
        tracker->trackClick(event, context);
    } catch (...) {
    }
}

void ReportViewEvent(ExtraProperties extra) {
    auto tracker = ActiveTracker();
    if (!tracker) return;
    try {
        ZmContextProperties context;
        ApplyExtra(context, extra, View);
        ZmEventView event;
        event.name = Utils::WideToUtf8(L"安装中");
        tracker->trackView(event, context);
    } catch (...) {
    }
}

void ReportCrash() {
    auto tracker = ActiveTracker();
    if (!tracker) return;
    try {
        tracker->trackCrash(Utils::WideToUtf8(L"崩溃"));
    } catch (...) {
    }
}

void WriteAnalyticsHandOff(const std::wstring& installDir) {
    const std::wstring installerName = Utils::FileNameOf(Utils::GetModulePath());
    const std::wstring setIni = Utils::JoinPath(installDir, L"set.ini");
    std::setlocale(LC_ALL, "en_GB.UTF-8");
    Utils::IniWriteString(setIni, L"Install", L"APPStore", installerName);
    Utils::IniWriteString(setIni, L"Install", L"AppName", L"velqordoc");
    Utils::IniWriteString(setIni, L"Install", L"DeviceID", Utils::NewGuidString());

    std::wstring root;
    if (!Utils::GetEnv(L"APPDATA", root) || root.empty())
        root = Utils::GetSpecialFolder(Utils::SpecialFolder::CommonDocuments);
    while (!root.empty() && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
    const std::wstring folder = root + L"\\ZelMoxData\\velqordoc";
    if (folder.size() > 260) return;
    Utils::CreateDirectories(folder);
    if (!Utils::DirectoryExists(folder)) return;
    const std::wstring analyticsIni = folder + L"\\ZMAnalytics.ini";
    Utils::IniWriteString(setIni, L"Install", L"ZMAnalyticsIni", analyticsIni);
    Utils::LocalTime t = Utils::GetLocalTime();
    wchar_t buf[64];
    std::swprintf(buf, 64, L"%d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    Utils::IniWriteString(analyticsIni, L"Init", L"UpdateTime", buf);
}
