#pragma once
// The process-wide launch configuration: compiled-in defaults, then
// "ZelmoxInstallerConfig.ini" beside the executable (section "Install"), both
// applied during static initialisation, then the command line, applied by the
// entry point. Written only before the main window exists; read everywhere
// afterwards without locking.
#include <cstdint>
#include <string>
#include <vector>

class LaunchConfig {
public:
    std::wstring ProductId;
    std::wstring AppVersion;
    std::wstring ExeName;
    std::wstring DlAppNameSuffix;
    std::wstring m_DlAppVersion;
    std::wstring InstCmd;
    std::wstring DownloadUrl;
    int32_t DownloadType = 1;
    bool IsCheckNet = false;
    bool IsEnableAppAnalytics = true;
    double DownloadScale = 0.7;
    bool CurlReady = true;
    std::wstring ABGroup;
    int32_t Language = 0;
    // "-language" was given: the window shows that language (otherwise the
    // layouts' own texts).
    bool LanguageGiven = false;
    // Where analytics batches are posted; empty means the maker's endpoint.
    std::wstring AnalyticsUrl;
    // The signer's subject name the package and the previous uninstaller must
    // carry ("Publisher" of the configuration file only, never the command
    // line); empty: any valid signature, required unless the package comes
    // over HTTPS.
    std::wstring Publisher;

    // Unattended installs: command-line options only, all off unless given.
    struct UnattendedOptions {
        bool Silent = false;           // -silent=true: no window, no dialog
        std::wstring InstallDir;       // -instdir: the install folder itself; empty: the default one
        bool DesktopShortcut = true;   // -dsc
        bool QuickLaunch = true;       // -ssc
        std::wstring LogFile;          // -log: diagnostic lines also go to this file
        // Why the command line is refused (one text per problem); empty when it is not.
        std::vector<std::wstring> Errors;
    } Unattended;

    static const wchar_t* const kDefaultDownloadUrl;
    static const wchar_t* const kConfigFileName;

    // Every field to its compiled-in default.
    void ApplyDefaults();
    // Defaults, then the configuration file beside the running executable.
    void LoadConfigFile();
    // The same for an executable at exePath (tests).
    void LoadConfigFileFor(const std::wstring& exePath);
    // The process's own command line.
    void ParseCommandLine();
    void ParseCommandLine(const std::wstring& commandLine);

    // Replaces every "${ROUTE}" in url by the download route for this Windows
    // version ("download_silent_xp" on XP-era systems, else "download_silent").
    static std::wstring ExpandRoute(const std::wstring& url);
    static std::wstring ExpandRoute(const std::wstring& url, const std::wstring& osVersionName);

private:
    void ParseUnattended(const std::vector<std::wstring>& args);
    void SetDownloadScale(double value, const wchar_t* origin);
};

// The record itself. Built (defaults + file) on first use, and at the latest
// during static initialisation, so it is ready whichever translation unit's
// static objects are initialised first.
LaunchConfig& GetLaunchConfig();
