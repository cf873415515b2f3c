#include "install/download_installer.h"

#include "download/downloader_factory.h"
#include "install/installer.h"
#include "install/package_trust.h"
#include "install/uninstaller.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/private_folder.h"

CDownloadInstaller::CDownloadInstaller(DownloadCallback ownerCallback, DownloaderFactory factory)
    : m_factory(factory ? std::move(factory) : MakeDownloaderFactory()), m_ownerCallback(std::move(ownerCallback)) {}

CDownloadInstaller::~CDownloadInstaller() {
    m_downloader.reset();
    m_installer.reset();
    m_uninstaller.reset();
    m_uninstallFolder.reset();
    m_ownerCallback = nullptr;
}

std::wstring CDownloadInstaller::PackagePathFor(const std::wstring& installDir) {
    return installDir + L"\\__Package_velqordoc.exe";
}

void CDownloadInstaller::Start() {
    {
        // From here on the deletions of earlier runs that are still to come
        // (a package or uninstaller finishing late) leave this start's files
        // alone: they check the start they belong to under the same lock.
        std::lock_guard<std::mutex> g(m_filesLock);
        ++m_startCount;
        m_packagePath = PackagePathFor(m_choices.installDir);
    }
    const int type = m_choices.downloadType;
    DEBUG_LOG(L"DL_TYPE=%d\r\n", type);
    if (!m_downloader && m_factory) {
        DownloadCallback handler = [this](int code, double value, const wchar_t* text) {
            OnDownload(code, value, text);
        };
        m_downloader = m_factory(type, handler, m_choices.downloadUrl, m_packagePath);
    }
    if (!m_installer) {
        m_installer = std::make_unique<CInstaller>(
            [this](int code, double value, const wchar_t* text) { OnInstall(code, value, text); },
            L"\"" + m_packagePath + L"\"");
        m_runPackagePath = m_packagePath;
        // The verdict usually arrives while the package still runs, when its
        // file cannot be deleted yet (Windows keeps a running program's file):
        // the deletions are made again once the package has exited.
        m_installer->SetRunEndedHandler([this] { DeletePackages(m_installRunStart.load()); });
    }
    m_installer->SetChoices(m_choices);

    const std::wstring& oldUninstaller = m_choices.oldUninstaller;
    if (!oldUninstaller.empty() && Utils::FileExists(oldUninstaller)) {
        // An earlier start's runner is waited for before it is replaced, and
        // its folder goes with it.
        m_uninstaller.reset();
        m_uninstallFolder = std::make_unique<Utils::PrivateFolder>();
        std::wstring tempCopy;
        if (m_uninstallFolder->Valid())
            tempCopy = Utils::JoinPath(m_uninstallFolder->Path(), kUninstallerCopyName);
        else
            DEBUG_LOG(L"no private folder for the uninstaller copy: %ls\r\n", m_uninstallFolder->Error().c_str());
        std::wstring oldFolder = Utils::ParentPath(oldUninstaller);
        // A copy that failed leaves no file: the runner then reports it missing.
        if (!tempCopy.empty() && !Utils::CopyFileTo(oldUninstaller, tempCopy, true)) {
            DEBUG_LOG(L"copying the uninstaller to %ls failed\r\n", tempCopy.c_str());
            Utils::RemoveFile(tempCopy);
        }
        m_uninstallSucceeded = false;
        m_uninstallFailed = false;
        m_uninstaller = std::make_unique<CUnInstaller>(
            [this](int code, double value, const wchar_t* text) { OnUninstall(code, value, text); }, tempCopy,
            oldFolder);
        m_uninstaller->SetExitWaitMs(m_choices.exitWaitMs);
        if (!tempCopy.empty() && Utils::FileExists(tempCopy)) {
            install_trust::Verdict verdict = install_trust::CheckProgram(tempCopy, m_choices, L"uninstaller");
            if (verdict.ok) m_uninstaller->HoldProgram(std::move(verdict.file), m_uninstallFolder->Path());
            else m_uninstaller->Refuse(verdict.reason);
        }
        m_uninstaller->SetRunEndedHandler([this] { OnUninstallEnded(); });
        m_uninstaller->Run();
        return;
    }
    if (m_downloader) m_downloader->Start();
}

void CDownloadInstaller::DeletePackages(uint64_t start) {
    std::lock_guard<std::mutex> g(m_filesLock);
    if (start != m_startCount) return;  // a new start owns the files now
    Utils::RemoveFile(m_packagePath);
    if (!m_failedPackage.empty()) Utils::RemoveFile(m_failedPackage);
}

uint64_t CDownloadInstaller::CurrentStart() {
    std::lock_guard<std::mutex> g(m_filesLock);
    return m_startCount;
}

void CDownloadInstaller::OnDownload(int code, double value, const wchar_t* text) {
    // The start this notification belongs to, taken before the owner hears of
    // it (and may start again).
    const uint64_t start = CurrentStart();
    install_trust::Verdict verdict;
    if (code == DL_CODE_SUCCESS) {
        // The downloaded file is held from its check until the package has
        // started; one that fails is a failed download (the user may retry).
        verdict = install_trust::CheckProgram(m_runPackagePath, m_choices, L"package",
                                              m_downloader ? m_downloader->CheckedDigest() : std::string());
        if (!verdict.ok) {
            OnDownload(DL_CODE_FAIL, install_trust::kUntrustedValue, verdict.reason.c_str());
            return;
        }
    }
    if (m_ownerCallback) m_ownerCallback(code, value, text);
    switch (code) {
    case DL_CODE_START:
        DEBUG_LOG(L"DL_CODE_START\r\n");
        Utils::CreateDirectories(m_choices.installDir);
        break;
    case DL_CODE_PROGRESS:
        DEBUG_LOG(L"DL_CODE_PROGRESS\r\n");
        break;
    case DL_CODE_SUCCESS:
        DEBUG_LOG(L"DOWNLOAD_SUCCESS\r\n");
        m_nextRunStart = start;
        // The package starts in its own folder, never in this process's
        // current folder (usually Downloads, where anything may lie).
        m_installer->HoldProgram(std::move(verdict.file), Utils::ParentPath(m_runPackagePath));
        m_installer->Run();
        DEBUG_LOG(L"DL_CODE_SUCCESS\r\n");
        break;
    case DL_CODE_FAIL:
        DEBUG_LOG(L"DL_CODE_FAIL\r\n");
        {
            std::lock_guard<std::mutex> g(m_filesLock);
            if (start == m_startCount) {
                Utils::RemoveFile(m_packagePath);
                if (!m_failedPackage.empty()) Utils::RemoveFile(m_failedPackage);
            }
            m_failedPackage = m_packagePath;
        }
        break;
    case DL_CODE_RETRY:
        DEBUG_LOG(L"DL_CODE_RETRY\r\n");
        m_downloader->Start();
        break;
    default:
        break;
    }
}

void CDownloadInstaller::OnUninstall(int code, double value, const wchar_t* text) {
    if (m_ownerCallback) m_ownerCallback(code, value, text);
    switch (code) {
    case UNIST_CODE_START:
        DEBUG_LOG(L"UNIST_CODE_START\r\n");
        break;
    case UNIST_CODE_PROGRESS:
        DEBUG_LOG(L"UNIST_CODE_PROGRESS\r\n");
        break;
    case UNIST_CODE_SUCCESS:
        DEBUG_LOG(L"UNIST_CODE_SUCCESS\r\n");
        // The download starts once the uninstaller has exited: one that says
        // "State=Success" may still be removing files from the folder the
        // package is about to be downloaded to.
        m_uninstallSucceeded = true;
        break;
    case UNIST_CODE_FAIL:
        DEBUG_LOG(L"UNIST_CODE_FAIL\r\n");
        m_uninstallFailed = true;
        break;
    case UNIST_CODE_ERROR:
        DEBUG_LOG(L"UNIST_CODE_ERROR\r\n");
        m_uninstallFailed = true;
        break;
    default:
        break;
    }
}

void CDownloadInstaller::OnUninstallEnded() {
    if (m_uninstallSucceeded && !m_uninstallFailed && m_downloader) m_downloader->Start();
}

void CDownloadInstaller::OnInstall(int code, double value, const wchar_t* text) {
    // A run's first notification: from now on its notifications and its end
    // belong to the start that downloaded its package (the run before it has
    // ended: the installer runs one worker at a time).
    if (code == IST_CODE_START) m_installRunStart = m_nextRunStart.load();
    const uint64_t start = m_installRunStart.load();
    if (m_ownerCallback) m_ownerCallback(code, value, text);
    switch (code) {
    case IST_CODE_START:
        DEBUG_LOG(L"IST_CODE_START\r\n");
        break;
    case IST_CODE_SUCCESS:
        DEBUG_LOG(L"INSTALL_SUCCESS\r\n");
        DeletePackages(start);
        break;
    case IST_CODE_FAIL:
        DEBUG_LOG(L"IST_CODE_FAIL\r\n");
        DeletePackages(start);
        break;
    default:
        break;
    }
}
