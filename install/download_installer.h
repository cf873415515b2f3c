#pragma once
// Drives one installation: removes the previously installed version when one is
// recorded, downloads the package into the install folder, runs it, and cleans
// up the package file. It has no thread of its own: Start returns at once and
// the phases chain through the handlers on the workers' threads.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "download/downloader.h"
#include "install/install_codes.h"

class CInstaller;
class CUnInstaller;

class CDownloadInstaller {
public:
    // Makes the downloader for a DownloadType (2 URL moniker, 3 multi-part,
    // anything else single-stream).
    using DownloaderFactory = std::function<std::unique_ptr<CDownloader>(
        int downloadType, DownloadCallback handler, const std::wstring& url, const std::wstring& packagePath)>;

    CDownloadInstaller(DownloadCallback ownerCallback, std::wstring downloadUrl, std::wstring oldUninstaller,
                       std::wstring installDir, bool desktopShortcut, bool quickLaunchShortcut, bool adminAct);
    ~CDownloadInstaller();
    CDownloadInstaller(const CDownloadInstaller&) = delete;
    CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

    // Stores the choices for the next start (registeredDir is accepted, not used).
    void SetOptions(const std::wstring& downloadUrl, const std::wstring& registeredDir,
                    const std::wstring& oldUninstaller, const std::wstring& installDir, bool desktopShortcut,
                    bool quickLaunchShortcut, bool adminAct, bool authorizationAct,
                    const std::wstring& installLanguage);
    void Start();

    // installDir + "\__Package_velqordoc.exe".
    static std::wstring PackagePathFor(const std::wstring& installDir);
    // The name of the previous uninstaller's copy in the cache folder.
    static constexpr const wchar_t* kUninstallerCopyName = L"velqordoc_un_asa.exe";

    const std::wstring& PackagePath() const { return m_packagePath; }
    const CDownloader* Downloader() const { return m_downloader.get(); }
    const CInstaller* Installer() const { return m_installer.get(); }

    // The package path of the last failed download (process-wide).
    static std::wstring FailedPackage();
    static void ResetFailedPackage();

    // The factory used when a start needs a downloader (default: by type).
    static void SetDownloaderFactory(DownloaderFactory factory);
    static std::unique_ptr<CDownloader> CreateDefaultDownloader(int downloadType, DownloadCallback handler,
                                                                const std::wstring& url,
                                                                const std::wstring& packagePath);

private:
    void OnDownload(int code, double value, const wchar_t* text);
    void OnUninstall(int code, double value, const wchar_t* text);
    void OnInstall(int code, double value, const wchar_t* text);
    void DeletePackages();
    void OnUninstallEnded();

    std::unique_ptr<CUnInstaller> m_uninstaller;
    std::unique_ptr<CDownloader> m_downloader;
    std::unique_ptr<CInstaller> m_installer;
    std::wstring m_downloadUrl;
    std::wstring m_oldUninstaller;
    std::wstring m_installDir;
    std::wstring m_packagePath;
    std::wstring m_installLanguage;
    bool m_desktopShortcut = true;
    bool m_quickLaunchShortcut = true;
    bool m_adminAct = true;
    bool m_authorizationAct = true;
    DownloadCallback m_ownerCallback;
    // The uninstaller of the current start reported success / a failure.
    std::atomic<bool> m_uninstallSucceeded{false};
    std::atomic<bool> m_uninstallFailed{false};
};
