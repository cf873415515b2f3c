#pragma once
// CMainWnd: the installer's main window and the controller of the whole
// visible flow. Four pages in "mainTabLt" -- welcome (one-click install),
// custom (folder and shortcuts), installing (progress), finished (start the
// product). It runs the checks before an installation, hands it to the owned
// CDownloadInstaller and reacts on the window thread to the notifications the
// orchestrator's workers post (WM_INSTALL_NOTIFY, see ui/main_wnd_flow.h).
#include <windows.h>

#include <memory>
#include <string>

#include "install/download_installer.h"
#include "install/pipeline.h"
#include "toolkit/control.h"
#include "ui/main_wnd_flow.h"
#include "ui/skin_frame_win.h"

namespace Utils {
class Thread;
}

// The window is the flow's view: the flow keeps the run's state and calls
// back through FlowView for everything it shows.
class CMainWnd : public CSkinFrame, private FlowView, public CMainWndFlow {
public:
    static constexpr const wchar_t* kLayout = L"MainWnd.xml";
    static constexpr const wchar_t* kProductExe = L"Velqor.exe";
    static constexpr const wchar_t* kTermsUrl = L"https://www.zelmoxsoft.com/terms";
    static constexpr unsigned kTopShowTimer = 10;
    static constexpr unsigned kCloseTimer = 11;

    // downloaderFactory makes the orchestrator's downloader (empty: by type
    // with the default settings).
    explicit CMainWnd(DownloaderFactory downloaderFactory = nullptr);
    ~CMainWnd() override;

    // The pre-install checks and the hand-over to the orchestrator; false when
    // a check refused the installation.
    bool StartInstall(const std::wstring& folder, bool desktopShortcut, bool quickLaunch);
    // The outcome of the checks (the "install" notification).
    void OnInstallResult(bool ok);
    void LaunchProduct();
    // Process id of the first running process with that executable file name
    // (exact letter case), or 0.
    static uint32_t FindProcessByName(const std::wstring& exeName);
    void ApplyLanguage(int index);
    std::wstring InstallLanguageCode() const;

    // The installed-product records and the folders derived from them.
    void LoadInstallRecords();
    void SaveInstallRecords();
    std::wstring DefaultInstallDir();
    std::wstring CustomInstallDir();
    bool KeepPreviousVersion(const std::wstring& folder) const;

    // The orchestrator's callback: any thread; posts the notification to the window.
    DownloadCallback NotifyCallback();

    int CurrentPage() const;

protected:
    void InitWindow() override;
    void Notify(const toolkit::Notification& n) override;
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;
    bool OnCloseRequest(int code) override;

private:
    // FlowView
    uint32_t TickNow() override;
    std::wstring ProgressUserFormat() override;
    void ShowProgress(const std::wstring& text, int percent) override;
    int ProgressBarValue() override;
    int ShowDialog(const std::wstring& layout, const std::wstring& text, const std::wstring& caption) override;
    void SelectMainPage(int page) override;
    void RetryInstall(int page) override;
    void CloseMainWindow(int code) override;
    void ShowFinishedPage() override;
    void OnInstallFinished() override;
    int NetworkStatus() override;

    bool OnClick(toolkit::Control* sender);
    void OnSelectChanged(toolkit::Control* sender);
    void OnTabSelect();
    void OnCheckNet(intptr_t result);
    void ChooseFolder();
    void ShowInstalledCopyTip();
    void OpenShell(const std::wstring& target, const std::wstring& folder, int show);
    bool IsChecked(toolkit::Control* checkBox) const;
    void ShowNameLabels();

    // controls (null when the layout lacks them)
    toolkit::Control* m_winCtn = nullptr;
    toolkit::TabLayout* m_titleTabLt = nullptr;
    toolkit::TabLayout* m_mainTabLt = nullptr;
    toolkit::Control* m_defaultInstallBtn = nullptr;
    toolkit::CheckBox* m_treatyCb = nullptr;
    toolkit::CheckBox* m_treatyBtn = nullptr;
    toolkit::Control* m_tipLbl = nullptr;
    toolkit::Control* m_customeBtn = nullptr;
    toolkit::Control* m_installDirEdit = nullptr;
    toolkit::Control* m_chDirBtn = nullptr;
    toolkit::CheckBox* m_createDSCb = nullptr;
    toolkit::CheckBox* m_createQSCb = nullptr;
    toolkit::Control* m_customeInstallBtn = nullptr;
    toolkit::Control* m_backBtn = nullptr;
    toolkit::Control* m_progressAnLb = nullptr;
    toolkit::Control* m_progressLb = nullptr;
    toolkit::Progress* m_installPrg = nullptr;
    toolkit::Control* m_openProduceBtn = nullptr;
    toolkit::Control* m_titleGrpCtn = nullptr;
    toolkit::Control* m_finishedLbl = nullptr;
    toolkit::Control* m_installLogo = nullptr;
    toolkit::Control* m_softNameLbl = nullptr;
    toolkit::Control* m_autoStartLbl = nullptr;  // "opens by itself" line of the installing page
    toolkit::Combo* m_languageCombo = nullptr;

    std::wstring m_installedPath;
    std::wstring m_previousUninstaller;
    bool m_adminAct = true;
    bool m_authorizationAct = true;

    DownloaderFactory m_downloaderFactory;
    std::unique_ptr<CDownloadInstaller> m_installer;
    std::unique_ptr<Utils::Thread> m_netCheck;
};
