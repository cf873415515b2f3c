#pragma once
// Drives one installation: removes the previously installed version when one is
// recorded, downloads the package into the install folder, runs it, and cleans
// up the package file. It has no thread of its own: Start returns at once and
// the phases chain through the handlers on the workers' threads.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "download/downloader.h"
#include "install/pipeline.h"

class CInstaller;
class CUnInstaller;
namespace Utils {
class PrivateFolder;
}

class CDownloadInstaller {
public:
    // factory makes the downloader at the first start that needs one (empty:
    // by DownloadType with the default settings).
    explicit CDownloadInstaller(DownloadCallback ownerCallback, DownloaderFactory factory = nullptr);
    ~CDownloadInstaller();
    CDownloadInstaller(const CDownloadInstaller&) = delete;
    CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

    // Stores the choices for the next start.
    void SetOptions(const InstallChoices& choices) { m_choices = choices; }
    void Start();

    // installDir + "\__Package_velqordoc.exe".
    static std::wstring PackagePathFor(const std::wstring& installDir);
    // The name of the previous uninstaller's copy in its private folder.
    static constexpr const wchar_t* kUninstallerCopyName = L"velqordoc_un_asa.exe";

    const std::wstring& PackagePath() const { return m_packagePath; }
    const CDownloader* Downloader() const { return m_downloader.get(); }
    const CInstaller* Installer() const { return m_installer.get(); }

    // The package path of the last failed download; deleted again with the
    // next start's package.
    const std::wstring& FailedPackage() const { return m_failedPackage; }

private:
    void OnDownload(int code, double value, const wchar_t* text);
    void OnUninstall(int code, double value, const wchar_t* text);
    void OnInstall(int code, double value, const wchar_t* text);
    // Deletes the package files unless a start after `start` has been made.
    void DeletePackages(uint64_t start);
    uint64_t CurrentStart();
    void OnUninstallEnded();

    // Where the uninstaller copy of the latest start runs (deleted with it).
    std::unique_ptr<Utils::PrivateFolder> m_uninstallFolder;
    std::unique_ptr<CUnInstaller> m_uninstaller;
    std::unique_ptr<CDownloader> m_downloader;
    std::unique_ptr<CInstaller> m_installer;
    InstallChoices m_choices;
    std::wstring m_packagePath;
    // The package the installer runs (the first start's package path).
    std::wstring m_runPackagePath;
    std::wstring m_failedPackage;
    DownloaderFactory m_factory;
    DownloadCallback m_ownerCallback;
    // Starts made so far, the one whose package the installer is to run next
    // and the one whose package it runs now; the lock makes a deletion and a
    // new start happen one after the other.
    std::mutex m_filesLock;
    uint64_t m_startCount = 0;
    std::atomic<uint64_t> m_nextRunStart{0};
    std::atomic<uint64_t> m_installRunStart{0};
    // The uninstaller of the current start reported success / a failure.
    std::atomic<bool> m_uninstallSucceeded{false};
    std::atomic<bool> m_uninstallFailed{false};
};
