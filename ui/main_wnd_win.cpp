#include "ui/main_wnd_win.h"

#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include "analytics/reporting.h"
#include "config/launch_config.h"
#include "install/download_installer.h"
#include "install/free_space.h"
#include "install/install_records.h"
#include "toolkit/archive.h"
#include "ui/language.h"
#include "ui/message_box_win.h"
#include "ui/sequence_controls.h"
#include "utils/desktop_shell.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/network.h"
#include "utils/process.h"
#include "utils/thread.h"
#include "utils/time.h"

namespace {
constexpr int kIconId = 145;
constexpr wchar_t kInvalidPathText[] = L"无效路径";
constexpr wchar_t kBadNetworkText[] = L"当前网络环境较差，请在网络通畅时进行安装";
// Shown when the skin's language file supplies no text 104.
constexpr wchar_t kLowDiskText[] = L"安装目录所在磁盘空间不足1GB，请清理磁盘或更换安装目录";
constexpr wchar_t kLowDiskTextId[] = L"104";
constexpr wchar_t kUninstallerCopy[] = L"velqordoc_un_asa.exe";
constexpr wchar_t kFolderTitle[] = L"选择一个文件夹";
constexpr unsigned kFolderDialogNewStyle = 0x40;
constexpr unsigned kPumpBeforeLaunchMs = 100;  // messages handled before the product starts

// The background of the whole window per page of the main tab.
const wchar_t* PageBackground(int page) {
    switch (page) {
        case 1: return L"res\\mainWnd\\bg2.png";
        case 2: return L"res\\mainWnd\\bg3.png";
        case 3: return L"res\\mainWnd\\bg4.png";
        default: return L"res\\mainWnd\\bg1.png";
    }
}

ExtraProperties WithGroup(const std::wstring& group) { return {{L"AB", group}}; }

// Lets the window receive a message from processes of lower integrity (the
// installer runs elevated). Windows 7 has the per-window filter, Vista only the
// process-wide one.
void AllowMessageFromOutside(HWND hwnd, UINT msg) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return;
    using PerWindow = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    using PerProcess = BOOL(WINAPI*)(UINT, DWORD);
    if (auto perWindow = reinterpret_cast<PerWindow>(
            reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilterEx")))) {
        perWindow(hwnd, msg, 1 /* MSGFLT_ALLOW */, nullptr);
    } else if (auto perProcess = reinterpret_cast<PerProcess>(
                   reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")))) {
        perProcess(msg, 1 /* MSGFLT_ADD */);
    }
}
}  // namespace

CMainWnd::CMainWnd(DownloaderFactory downloaderFactory)
    : CSkinFrame(kLayout),
      CMainWndFlow(static_cast<FlowView&>(*this), GetLaunchConfig().DownloadScale),
      m_downloaderFactory(std::move(downloaderFactory)) {}

CMainWnd::~CMainWnd() {
    // The connectivity worker first (it only raises a queued notification),
    // then the orchestrator, which waits for its own workers; their late
    // notifications find no window and are freed by the callback.
    m_netCheck.reset();
    m_installer.reset();
}

DownloadCallback CMainWnd::NotifyCallback() {
    HWND hwnd = GetHWND();
    NotifyMailbox* mailbox = &Mailbox();
    return [hwnd, mailbox](int code, double value, const wchar_t* text) {
        NotifyRecord* record = mailbox->Add(code, value, text ? text : L"");
        if (!PostMessageW(hwnd, WM_INSTALL_NOTIFY, 0, reinterpret_cast<LPARAM>(record))) mailbox->Discard(record);
    };
}

// ---------------------------------------------------------------- set-up

void CMainWnd::InitWindow() {
    CSkinFrame::InitWindow();
    HWND hwnd = GetHWND();
    LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    style &= ~static_cast<LONG_PTR>(WS_CAPTION | WS_MAXIMIZEBOX);
    style |= WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    SetWindowLongPtrW(hwnd, GWL_STYLE, style);
    LONG_PTR exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_TOPMOST));
    if (HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId))) {
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    AllowMessageFromOutside(hwnd, WM_DOWNLOADER_STARTED);

    m_winCtn = FindControl(L"winCtn");
    m_titleTabLt = FindControlAs<toolkit::TabLayout>(L"titleTabLt");
    m_mainTabLt = FindControlAs<toolkit::TabLayout>(L"mainTabLt");
    m_defaultInstallBtn = FindControl(L"defaultInstallBtn");
    m_treatyCb = FindControlAs<toolkit::CheckBox>(L"treatyCb");
    m_treatyBtn = FindControlAs<toolkit::CheckBox>(L"treatyBtn");
    m_tipLbl = FindControl(L"tipLbl");
    m_customeBtn = FindControl(L"customeBtn");
    m_installDirEdit = FindControl(L"installDirEdit");
    m_chDirBtn = FindControl(L"chDirBtn");
    m_createDSCb = FindControlAs<toolkit::CheckBox>(L"createDSCb");
    m_createQSCb = FindControlAs<toolkit::CheckBox>(L"createQSCb");
    m_customeInstallBtn = FindControl(L"customeInstallBtn");
    m_backBtn = FindControl(L"backBtn");
    m_progressAnLb = FindControl(L"progressAnLb");
    m_progressLb = FindControl(L"progressLb");
    m_installPrg = FindControlAs<toolkit::Progress>(L"installPrg");
    m_openProduceBtn = FindControl(L"openProduceBtn");
    m_titleGrpCtn = FindControl(L"titleGrpCtn");
    m_finishedLbl = FindControl(L"finishedLbl");
    m_installLogo = FindControl(L"installLogo");
    m_softNameLbl = FindControl(L"softNameLbl");
    m_autoStartLbl = FindControl(L"autoStartLbl");
    m_languageCombo = FindControlAs<toolkit::Combo>(L"languageCombo");

    if (m_languageCombo) {
        m_languageCombo->SelectItem(GetLaunchConfig().Language, false);
        ApplyLanguage(GetLaunchConfig().Language);
    } else if (GetLaunchConfig().LanguageGiven) {
        // Without a language choice in the layout, "-language" picks the
        // texts of every skinned window (the dialogs read them when built).
        LoadLanguage(GetLaunchConfig().Language, L"");
        toolkit::RelayoutAllWindows();
    }
    ShowNameLabels();

    m_installer = std::make_unique<CDownloadInstaller>(NotifyCallback(), m_downloaderFactory);
    LoadInstallRecords();
    SetHasInstalledCopy(!m_installedPath.empty());
    if (m_installDirEdit) m_installDirEdit->SetText(DefaultInstallDir());
    CenterWindow();

    if (HasInstalledCopy()) {
        const int index = LoadInstalledLanguage(m_installedPath);
        if (m_languageCombo) m_languageCombo->SelectItem(index, false);
        if (FindProcessByName(kProductExe) != 0) {
            ShowDialog(L"MessageBox1Wnd.xml", LanguageText(L"301", kRunningProductText), LanguageText(L"201", kTipCaption));
            Close(1);
            return;
        }
        ShowInstalledCopyTip();
    }
    DEBUG_LOG(L"window ready\r\n");
}

void CMainWnd::ShowNameLabels() {
    for (const wchar_t* name : {L"softNameLbl", L"bTitleLbl1", L"bTitleLbl2", L"bTitleLbl3"}) {
        toolkit::Control* label = FindControl(name);
        if (!label) continue;
        label->SetFixedWidth(MeasureTextWidth(label, L"Velqor"));
        label->SetText(L"Velqor");
    }
}

void CMainWnd::ShowInstalledCopyTip() {
    switch (ShowDialog(L"InstalledPathTipWnd.xml", L"", L"")) {
        case 1:  // "打开软件"
            SetProductExe(m_installedPath + L"\\" + kProductExe);
            OpenShell(ProductExe(), m_installedPath, SW_SHOWNORMAL);
            Close(1);
            break;
        case 0:  // "安装最新版本"
            StartInstall(m_installedPath, true, true);
            break;
        default:  // the tip was closed
            Close(1);
            break;
    }
}

// ---------------------------------------------------------------- installation start

bool CMainWnd::StartInstall(const std::wstring& folder, bool desktopShortcut, bool quickLaunch) {
    DEBUG_LOG(L"folder=%ls desktop=%d quicklaunch=%d\r\n", folder.c_str(), desktopShortcut ? 1 : 0,
              quickLaunch ? 1 : 0);
    if (FindProcessByName(kUninstallerCopy) != 0) {
        Refused(kExitProductRunning);
        ShowDialog(L"MessageBox1Wnd.xml", LanguageText(L"301", kRunningProductText), LanguageText(L"201", kTipCaption));
        if (HasInstalledCopy()) Close(1);
        return false;
    }
    if (FindProcessByName(kProductExe) != 0) {
        Refused(kExitProductRunning);
        ShowDialog(L"MessageBox1Wnd.xml", LanguageText(L"301", kRunningProductText), LanguageText(L"201", kTipCaption));
        Close(1);
        return false;
    }
    if (m_customeInstallBtn) m_customeInstallBtn->SetEnabled(false);

    if (!Utils::CreateDirectories(folder)) {
        Refused(kExitInvalidFolder);
        ShowDialog(L"MessageBox2Wnd.xml", LanguageText(L"302", kInvalidPathText), LanguageText(L"201", kTipCaption));
        RaiseNotify(Root(), L"install", 0);
        return false;
    }
    Utils::HardDiskManager disk;
    if (!install_checks::HasEnoughFreeSpace(disk, folder)) {
        Refused(kExitNotEnoughSpace);
        std::wstring text;
        if (!toolkit::GetLanguageText(kLowDiskTextId, text)) text = kLowDiskText;
        ShowDialog(L"MessageBox2Wnd.xml", text, LanguageText(L"201", kTipCaption));
        RaiseNotify(Root(), L"install", 0);
        return false;
    }

    SetInstallDir(folder);
    const std::wstring previousUninstaller = KeepPreviousVersion(folder) ? L"" : m_previousUninstaller;
    const LaunchConfig& config = GetLaunchConfig();
    InstallChoices choices;
    choices.downloadUrl = config.DownloadUrl;
    choices.oldUninstaller = previousUninstaller;
    choices.installDir = folder;
    choices.desktopShortcut = desktopShortcut;
    choices.quickLaunchShortcut = quickLaunch;
    choices.adminAct = m_adminAct;
    choices.authorizationAct = m_authorizationAct;
    choices.installLanguage = InstallLanguageCode();
    choices.downloadType = config.DownloadType;
    choices.instCmd = config.InstCmd;
    choices.publisher = config.Publisher;
    m_installer->SetOptions(choices);

    if (config.IsCheckNet) {
        if (m_netCheck) {
            m_netCheck->Join();  // a check still running is waited for
            m_netCheck.reset();
        }
        m_netCheck = std::make_unique<Utils::Thread>(this, L"ABDEF", [this](void*) -> uint32_t {
            const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            const int32_t result = Utils::CheckNetwork();
            RaiseNotify(Root(), L"checknet", result, true);
            if (SUCCEEDED(com)) CoUninitialize();
            return 0;
        });
        m_netCheck->Start();
    } else {
        RaiseNotify(Root(), L"install", 1, true);
    }
    return true;
}

void CMainWnd::OnCheckNet(intptr_t result) {
    const int status = Utils::NetworkStatus(static_cast<int32_t>(result));
    DEBUG_LOG(L"connectivity status=%u\r\n", static_cast<unsigned>(status));
    if (status != 0) {
        Refused(kExitNoNetwork);
        ShowDialog(L"MessageBox2Wnd.xml", LanguageText(L"303", kBadNetworkText), LanguageText(L"201", kTipCaption));
    }
    RaiseNotify(Root(), L"install", status == 0 ? 1 : 0);
}

void CMainWnd::OnInstallResult(bool ok) {
    if (ok) {
        SetSavedPage(CurrentPage());
        SelectMainPage(kPageInstalling);
        ReportViewEvent(WithGroup(AbGroup()));
        m_installer->Start();
    }
    if (m_customeInstallBtn) m_customeInstallBtn->SetEnabled(true);
}

// ---------------------------------------------------------------- notifications

void CMainWnd::Notify(const toolkit::Notification& n) {
    if (n.type == L"click" && OnClick(n.sender)) return;
    if (n.type == L"selectchanged") {
        OnSelectChanged(n.sender);
    } else if (n.type == L"tabselect") {
        OnTabSelect();
    } else if (n.type == L"timer" && n.sender == Root()) {
        if (n.wParam == kTopShowTimer) {
            HWND hwnd = GetHWND();
            if (IsIconic(hwnd)) ::ShowWindow(hwnd, SW_RESTORE);
            SetForegroundWindow(hwnd);
            KillTimer(Root(), kTopShowTimer);
        } else if (n.wParam == kCloseTimer) {
            KillTimer(Root(), kCloseTimer);
            Close(1);
        }
    } else if (n.type == L"itemselect" && m_languageCombo && n.sender == m_languageCombo) {
        ApplyLanguage(m_languageCombo->CurSel());
    } else if (n.type == L"install") {
        OnInstallResult(n.wParam != 0);
        return;
    } else if (n.type == L"checknet") {
        OnCheckNet(n.wParam);
        return;
    }
    CSkinFrame::Notify(n);
}

bool CMainWnd::OnClick(toolkit::Control* sender) {
    if (!sender) return false;
    const ExtraProperties ab = WithGroup(AbGroup());
    if (sender == m_defaultInstallBtn) {
        ReportClickEvent(L"立即安装", ab);
        if (IsChecked(m_treatyCb)) {
            StartInstall(DefaultInstallDir(), true, true);
        } else if (m_tipLbl) {
            m_tipLbl->SetVisible(true);
        }
    } else if (sender == m_customeBtn) {
        ReportClickEvent(L"自定义安装", ab);
        SelectMainPage(kPageCustom);
        if (m_customeInstallBtn) SetFocusControl(m_customeInstallBtn);
    } else if (sender == m_treatyBtn) {
        OpenShell(kTermsUrl, L"", SW_SHOWMAXIMIZED);
    } else if (sender == m_backBtn) {
        SelectMainPage(kPageWelcome);
    } else if (sender == m_chDirBtn) {
        ChooseFolder();
    } else if (sender == m_customeInstallBtn) {
        ReportClickEvent(L"自定义安装_立即安装", ab);
        StartInstall(CustomInstallDir(), IsChecked(m_createDSCb), IsChecked(m_createQSCb));
    } else if (sender == m_openProduceBtn) {
        ReportClickEvent(L"立即体验", ab);
        if (StartupStyleValue() == UserStartup) LaunchProduct();
        Close(1);
    } else if (sender->Name() == L"closebtn") {
        if (CurrentPage() == kPageFinished) {
            Close(1);
        } else if (ShowDialog(L"ExitTipWnd.xml", L"", L"") == 0) {
            Close(1);
        }
    } else {
        return false;  // the default handling ("minbtn")
    }
    return true;
}

void CMainWnd::OnSelectChanged(toolkit::Control* sender) {
    if (sender && sender == m_treatyCb) {
        const bool checked = m_treatyCb->IsChecked();
        if (m_treatyBtn) m_treatyBtn->SetCheck(checked);
        if (m_customeBtn) m_customeBtn->SetEnabled(checked);
        if (checked && m_tipLbl) m_tipLbl->SetVisible(false);
    } else if (sender && sender == m_treatyBtn) {
        // The link keeps the mark of the terms box whatever the click did to it.
        const bool checked = IsChecked(m_treatyCb);
        if (m_treatyBtn->IsChecked() != checked) m_treatyBtn->SetCheck(checked);
    }
}

void CMainWnd::OnTabSelect() {
    const int page = CurrentPage();
    if (m_winCtn) m_winCtn->SetBkImage(PageBackground(page));
    if (m_titleTabLt) {
        int titlePage = m_titleTabLt->CurSel();
        if (page == kPageWelcome || page == kPageCustom) titlePage = 1;
        else if (page == kPageFinished) titlePage = 2;
        else if (page != kPageInstalling) titlePage = 0;
        // Selecting raises "tabselect" again (handled here): only a change is selected.
        if (titlePage != m_titleTabLt->CurSel()) m_titleTabLt->SelectItem(titlePage);
    }
    auto* progressAnimation = m_progressAnLb ? m_progressAnLb->As<CSequenceLabelUI>() : nullptr;
    if (page == kPageInstalling && progressAnimation) progressAnimation->Start();
    if (page == kPageFinished) {
        if (progressAnimation) KillTimer(progressAnimation, SequenceAnimation::kTimerId);
        if (auto* finished = m_finishedLbl ? m_finishedLbl->As<CSequenceLabelUI>() : nullptr) finished->Start();
    }
    if (m_titleGrpCtn) m_titleGrpCtn->SetVisible(page != kPageInstalling);
    if (m_installLogo) m_installLogo->SetVisible(page == kPageInstalling);
    if (m_backBtn) m_backBtn->SetVisible(page == kPageCustom);
    DEBUG_LOG(L"page %d\r\n", page);
}

LRESULT CMainWnd::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    if (msg == WM_INSTALL_NOTIFY) {
        // Only records this window's callback allocated are read; anything
        // else posted under this number is ignored.
        if (std::unique_ptr<NotifyRecord> record = Mailbox().Take(reinterpret_cast<NotifyRecord*>(lp))) {
            HandleNotify(*record);
            // The installing page promises the product opens by itself only
            // when the package asked for that.
            if (m_autoStartLbl) m_autoStartLbl->SetVisible(StartupStyleValue() == AutoStartup);
        }
    } else if (msg == WM_DOWNLOADER_STARTED) {
        OnDownloaderStarted();
    }
    return CSkinFrame::HandleMessage(msg, wp, lp, handled);
}

bool CMainWnd::OnCloseRequest(int code) {
    if (CurrentPage() == kPageInstalling) {
        DEBUG_LOG(L"close request %d ignored while installing\r\n", code);
        return false;
    }
    return CSkinFrame::OnCloseRequest(code);
}

// ---------------------------------------------------------------- after the installation

void CMainWnd::ShowFinishedPage() {
    if (m_installPrg) m_installPrg->SetValue(100);
    const std::wstring finishImage = L"res\\mainWnd\\installPrg3.png";
    if (m_installPrg && Utils::FileExists(Utils::ParentPath(Utils::GetModulePath()) + L"\\" + finishImage)) {
        m_installPrg->SetForeImage(finishImage);
        m_installPrg->Invalidate();
    }
    if (m_softNameLbl) {
        m_softNameLbl->SetText(L"Velqor");
        m_softNameLbl->SetVisible(true);
    }
    SelectMainPage(kPageFinished);
}

void CMainWnd::OnInstallFinished() {
    SaveInstallRecords();
    WriteHandOff(InstallDir());
    if (StartupStyleValue() == AutoStartup) LaunchProduct();
    if (TopShowDelay() != 0) SetTimer(Root(), kTopShowTimer, TopShowDelay());
    if (FinishCloseDelay() != 0) SetTimer(Root(), kCloseTimer, FinishCloseDelay());
}

void CMainWnd::LaunchProduct() {
    if (StartUrl().size() > 5) OpenShell(StartUrl(), L"", SW_SHOWMAXIMIZED);
    if (!Utils::FileExists(ProductExe())) return;
    // Let the window finish what it is drawing before the product takes the screen.
    const uint32_t start = Utils::TickCount();
    MSG msg;
    while (Utils::TickCount() - start < kPumpBeforeLaunchMs && IsWindow(GetHWND())) {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            continue;
        }
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DEBUG_LOG(L"starting %ls\r\n", ProductExe().c_str());
    OpenShell(ProductExe(), L"", SW_SHOWNORMAL);
}

// ---------------------------------------------------------------- helpers

uint32_t CMainWnd::FindProcessByName(const std::wstring& exeName) {
    const std::vector<Utils::ProcessEntry> processes = Utils::EnumerateProcesses();
    // The first entry is the system's idle process.
    for (size_t i = 1; i < processes.size(); ++i)
        if (processes[i].exeName == exeName) return processes[i].pid;
    return 0;
}

void CMainWnd::ApplyLanguage(int index) {
    LoadLanguage(index, L"");
    Relayout();
    for (const wchar_t* name : {L"lbLanguage", L"lbInstallPath", L"backBtn"}) {
        toolkit::Control* c = FindControl(name);
        // An image-only button (the back button has no text) keeps its width:
        // measuring its empty text would shrink it to its padding.
        if (!c || c->Text().empty()) continue;
        auto* label = c->As<toolkit::Label>();
        const int padding = label ? label->LayoutTextPadding().left : 0;
        c->SetFixedWidth(MeasureTextWidth(c, c->Text()) + padding);
    }
}

std::wstring CMainWnd::InstallLanguageCode() const {
    if (!m_languageCombo) return L"";
    return LanguageCodeAt(m_languageCombo->CurSel());
}

void CMainWnd::LoadInstallRecords() {
    const install_records::InstallRecords records = install_records::LoadInstallRecords();
    m_installedPath = records.installedPath;
    m_previousUninstaller = records.previousUninstaller;
}

void CMainWnd::SaveInstallRecords() { install_records::SaveInstallRecords(InstallDir(), ReportedUninstaller()); }

std::wstring CMainWnd::DefaultInstallDir() {
    const install_records::DefaultDirResult result = install_records::DefaultInstallDir(
        {m_installedPath, m_previousUninstaller}, install_records::AccountEnvironment::System());
    m_adminAct = result.adminAct;
    m_authorizationAct = result.authorizationAct;
    return result.folder;
}

std::wstring CMainWnd::CustomInstallDir() {
    const std::wstring text = m_installDirEdit ? m_installDirEdit->Text() : L"";
    return install_records::CustomInstallDir(text, DefaultInstallDir());
}

bool CMainWnd::KeepPreviousVersion(const std::wstring& folder) const {
    return install_records::KeepPreviousVersion(folder, m_installedPath);
}

int CMainWnd::CurrentPage() const { return m_mainTabLt ? m_mainTabLt->CurSel() : -1; }

bool CMainWnd::IsChecked(toolkit::Control* checkBox) const {
    auto* box = checkBox ? checkBox->As<toolkit::CheckBox>() : nullptr;
    return box && box->IsChecked();
}

void CMainWnd::ChooseFolder() {
    // The new-style folder dialog needs OLE on this thread.
    const HRESULT ole = OleInitialize(nullptr);
    BROWSEINFOW info{};
    info.hwndOwner = GetHWND();
    const std::wstring title = LanguageText(L"308", kFolderTitle);
    info.lpszTitle = title.c_str();
    info.ulFlags = kFolderDialogNewStyle;
    if (PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(list, path) && m_installDirEdit) m_installDirEdit->SetText(path);
        CoTaskMemFree(list);
    }
    if (SUCCEEDED(ole)) OleUninitialize();
}

void CMainWnd::OpenShell(const std::wstring& target, const std::wstring& folder, int show) {
    // The product and web pages run as the desktop user, not elevated as this
    // process; only where the desktop shell cannot take the request are they
    // opened from here.
    std::wstring why;
    if (Utils::OpenAsDesktopUser(target, folder, show, why)) return;
    DEBUG_LOG(L"the desktop shell did not open %ls (%ls): opening it from this process\r\n", target.c_str(),
              why.c_str());
    ShellExecuteW(GetHWND(), L"open", target.c_str(), nullptr, folder.empty() ? nullptr : folder.c_str(), show);
}

// ---------------------------------------------------------------- FlowView

uint32_t CMainWnd::TickNow() { return Utils::TickCount(); }

std::wstring CMainWnd::ProgressUserFormat() { return m_progressLb ? m_progressLb->UserData() : L""; }

void CMainWnd::ShowProgress(const std::wstring& text, int percent) {
    if (m_progressLb) m_progressLb->SetText(text);
    if (m_installPrg) m_installPrg->SetValue(percent);
}

int CMainWnd::ProgressBarValue() { return m_installPrg ? m_installPrg->Value() : 0; }

int CMainWnd::ShowDialog(const std::wstring& layout, const std::wstring& text, const std::wstring& caption) {
    DEBUG_LOG(L"dialog %ls shown\r\n", layout.c_str());
    const int result = ShowMessageDialog(layout, GetHWND(), text.empty() ? nullptr : text.c_str(),
                                         caption.empty() ? nullptr : caption.c_str());
    DEBUG_LOG(L"dialog %ls result %d\r\n", layout.c_str(), result);
    return result;
}

void CMainWnd::SelectMainPage(int page) {
    if (m_mainTabLt) m_mainTabLt->SelectItem(page);
}

void CMainWnd::RetryInstall(int page) {
    if (page == kPageWelcome) StartInstall(DefaultInstallDir(), true, true);
    else if (page == kPageCustom) StartInstall(CustomInstallDir(), IsChecked(m_createDSCb), IsChecked(m_createQSCb));
}

void CMainWnd::CloseMainWindow(int code) { Close(code); }

int CMainWnd::NetworkStatus() {
    // The connectivity query needs COM on the calling thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int status = FlowView::NetworkStatus();
    if (SUCCEEDED(com)) CoUninitialize();
    return status;
}
