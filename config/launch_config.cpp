#include "config/launch_config.h"

#include <climits>
#include <cmath>
#include <map>

#include "config/version.h"
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
    AppVersion = VELQOR_VERSION_WIDE;
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
    Publisher = L"";
    Unattended = UnattendedOptions{};
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
        Publisher = read(L"Publisher", L"");
    }
    ProductId = L"velqordoc";
    AppVersion = VELQOR_VERSION_WIDE;
}

void LaunchConfig::ParseCommandLine() { ParseCommandLine(Utils::GetProcessCommandLine()); }

void LaunchConfig::ParseCommandLine(const std::wstring& commandLine) {
    const std::vector<std::wstring> args = Utils::SplitCommandLine(commandLine);
    std::map<std::wstring, std::wstring> options;
    for (const auto& arg : args) {
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
    ParseUnattended(args);
}

namespace {

// The options of unattended installs. Unlike the older options they are never
// guessed: a misspelt value, a missing "=", a capitalised key or two
// different values refuse the whole command line (an administrator's script
// must not end up with a window nobody sees, or in another folder).
constexpr const wchar_t* kUnattendedKeys[] = {L"-silent", L"-instdir", L"-dsc", L"-ssc", L"-log"};

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

bool IsAbsoluteFolder(const std::wstring& path) {
    const bool drive = path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && path[2] == L'\\';
    const bool share = path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\';
    return drive || share;
}

}  // namespace

void LaunchConfig::ParseUnattended(const std::vector<std::wstring>& args) {
    UnattendedOptions u;
    std::map<std::wstring, std::wstring> given;
    auto fail = [&u](std::wstring text) { u.Errors.push_back(std::move(text)); };
    for (const std::wstring& arg : args) {
        if (arg.empty() || arg[0] != L'-') continue;
        const size_t eq = arg.find(L'=');
        const std::wstring key = arg.substr(0, eq);
        const wchar_t* known = nullptr;
        for (const wchar_t* k : kUnattendedKeys)
            if (Lower(key) == k) known = k;
        if (!known) continue;
        if (key != known) {
            fail(L"options are written in lower case: " + key + L" must be " + known);
            continue;
        }
        if (eq == std::wstring::npos) {
            fail(key + L" needs a value (" + key + (key == L"-instdir" || key == L"-log" ? L"=<path>)" : L"=true or " + key + L"=false)"));
            continue;
        }
        const std::wstring value = arg.substr(eq + 1);
        auto [it, first] = given.emplace(key, value);
        if (!first && it->second != value) fail(key + L" is given twice with different values");
    }
    auto flag = [&](const wchar_t* key, bool& field) {
        auto it = given.find(key);
        if (it == given.end()) return;
        if (it->second == L"true") field = true;
        else if (it->second == L"false") field = false;
        else fail(std::wstring(key) + L"=" + it->second + L" is not understood: write true or false");
    };
    flag(L"-silent", u.Silent);
    flag(L"-dsc", u.DesktopShortcut);
    flag(L"-ssc", u.QuickLaunch);
    if (auto it = given.find(L"-instdir"); it != given.end()) {
        std::wstring dir = it->second;
        for (wchar_t& c : dir)
            if (c == L'/') c = L'\\';
        while (dir.size() > 3 && dir.back() == L'\\') dir.pop_back();
        if (dir.find(L'"') != std::wstring::npos)
            fail(L"-instdir contains a quote (a backslash just before a closing quote keeps the quote in the value)");
        else if (!IsAbsoluteFolder(dir))
            fail(L"-instdir=" + it->second + L" is not a full path such as C:\\Programs\\Velqor");
        else
            u.InstallDir = dir;
    }
    if (auto it = given.find(L"-log"); it != given.end()) {
        if (it->second.empty()) fail(L"-log needs a file name");
        else u.LogFile = it->second;
    }
    if (!u.Silent) {
        for (const wchar_t* key : {L"-instdir", L"-dsc", L"-ssc"})
            if (given.count(key)) fail(std::wstring(key) + L" applies only to a silent install (-silent=true)");
    }
    Unattended = std::move(u);
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
