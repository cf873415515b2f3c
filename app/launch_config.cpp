#include "app/launch_config.h"

#include <climits>
#include <cmath>
#include <map>

#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/log.h"
#include "utils/sysinfo.h"
#include "utils/text.h"

const wchar_t* const LaunchConfig::kDefaultDownloadUrl = L"http://download.zelmoxsoft.com/software/342";
const wchar_t* const LaunchConfig::kConfigFileName = L"ZelmoxInstallerConfig.ini";

namespace {

constexpr wchar_t kSection[] = L"Install";
constexpr size_t kProfileBuffer = 260;

int32_t ClampToInt(long long v) {
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

void LaunchConfig::ApplyDefaults() {
    ProductId = L"velqordoc";
    AppVersion = L"1.7.9";
    ExeName = L"NULL";
    DlAppNameSuffix = L".downloader";
    m_DlAppVersion = L"";
    InstCmd = L"";
    DownloadUrl = ExpandRoute(kDefaultDownloadUrl);
    DownloadType = 1;
    IsCheckNet = false;
    IsEnableAppAnalytics = true;
    DownloadScale = 0.7;
    CurlReady = true;
    ABGroup = L"IN";
    Language = 0;
    LanguageGiven = false;
    AnalyticsUrl = L"";
}

void LaunchConfig::SetDownloadScale(double value, const wchar_t* origin) {
    // The scale splits the progress bar: anything outside 0..1 (or not a number)
    // would show NaN or percentages beyond 100, so the previous value stays.
    if (!std::isfinite(value) || value < 0.0 || value > 1.0) {
        DEBUG_LOG(L"DownloadScale from %ls is unusable, keeping %f\r\n", origin, DownloadScale);
        return;
    }
    DownloadScale = value;
}

void LaunchConfig::LoadConfigFile() { LoadConfigFileFor(Utils::GetModulePath()); }

void LaunchConfig::LoadConfigFileFor(const std::wstring& exePath) {
    ApplyDefaults();
    ExeName = Utils::FileNameOf(exePath);
    std::wstring ini = Utils::ParentPath(exePath) + L"\\" + kConfigFileName;
    if (Utils::FileExists(ini)) {
        auto read = [&](const wchar_t* key, const std::wstring& def) {
            return Utils::IniReadString(ini, kSection, key, def, kProfileBuffer);
        };
        DownloadUrl = ExpandRoute(read(L"DownloadUrl", kDefaultDownloadUrl));
        DownloadType = Utils::IniReadInt(ini, kSection, L"DownloadType", 1);
        IsCheckNet = read(L"IsCheckNet", L"true") == L"true";
        IsEnableAppAnalytics = read(L"IsEnableAppAnalytics", L"true") == L"true";
        DlAppNameSuffix = read(L"DlAppNameSuffix", L".downloader");
        m_DlAppVersion = read(L"m_DlAppVersion", L"");
        // No number at all reads as 0.0; a number outside 0..1 is refused.
        SetDownloadScale(Utils::ParseLeadingDouble(read(L"DownloadScale", L"0.7")), L"the configuration file");
        InstCmd = read(L"InstCmd", L"");
        AnalyticsUrl = read(L"AnalyticsUrl", L"");
    }
    ProductId = L"velqordoc";
    AppVersion = L"1.7.9";
}

void LaunchConfig::ParseCommandLine() { ParseCommandLine(Utils::GetProcessCommandLine()); }

void LaunchConfig::ParseCommandLine(const std::wstring& commandLine) {
    std::map<std::wstring, std::wstring> options;
    for (const auto& arg : Utils::SplitCommandLine(commandLine)) {
        size_t eq = arg.find(L'=');
        if (!arg.empty() && arg[0] == L'-' && eq != std::wstring::npos)
            options.emplace(arg.substr(0, eq), arg.substr(eq + 1));  // the first of two wins
        else
            options.emplace(arg, L"");
    }
    auto get = [&](const wchar_t* key, std::wstring& value) {
        auto it = options.find(key);
        if (it == options.end()) return false;
        value = it->second;
        return true;
    };
    std::wstring v;
    if (get(L"-downloadurl", v)) DownloadUrl = ExpandRoute(v);
    if (get(L"-downloadtype", v)) DownloadType = ClampToInt(Utils::ParseLeadingInteger(v));
    if (get(L"-downloadscale", v)) {
        bool ok = false;
        double d = Utils::ParseLeadingDouble(v, &ok);
        SetDownloadScale(ok ? d : NAN, L"the command line");
    }
    if (get(L"-ischecknet", v)) IsCheckNet = v == L"true";
    if (get(L"-isenableappanalytics", v)) IsEnableAppAnalytics = v == L"true";
    if (get(L"-dlappnamesuffix", v)) DlAppNameSuffix = v;
    if (get(L"-dlappversion", v)) m_DlAppVersion = v;
    if (get(L"-instcmd", v)) InstCmd = v;
    if (get(L"-language", v)) {
        Language = ClampToInt(Utils::ParseLeadingInteger(v));
        LanguageGiven = true;
    }
    if (get(L"-analyticsurl", v)) AnalyticsUrl = v;
}

std::wstring LaunchConfig::ExpandRoute(const std::wstring& url) {
    if (url.find(L"${ROUTE}") == std::wstring::npos) return url;
    std::wstring platform, version;
    Utils::GetOsVersionName(platform, version);
    return ExpandRoute(url, version);
}

std::wstring LaunchConfig::ExpandRoute(const std::wstring& url, const std::wstring& osVersionName) {
    if (url.find(L"${ROUTE}") == std::wstring::npos) return url;
    std::wstring route = osVersionName.find(L"XP") != std::wstring::npos ? L"download_silent_xp" : L"download_silent";
    std::wstring out = url;
    Utils::ReplaceAll(out, L"${ROUTE}", route);
    return out;
}

LaunchConfig& GetLaunchConfig() {
    static LaunchConfig config = [] {
        LaunchConfig c;
        c.LoadConfigFile();
        return c;
    }();
    return config;
}

namespace {
// Applies defaults and the configuration file during static initialisation.
[[maybe_unused]] const bool g_configLoaded = (GetLaunchConfig(), true);
}  // namespace
