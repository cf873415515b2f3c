#include "app/silent_install.h"

#include "app/configured_downloads.h"
#include "config/launch_config.h"
#include "install/download_installer.h"
#include "install/free_space.h"
#include "install/install_records.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/network.h"
#include "utils/process.h"
#include "utils/time.h"

CSilentInstall::CSilentInstall(const LaunchConfig& config)
    : CMainWndFlow(static_cast<FlowView&>(*this), config.DownloadScale), m_config(config) {}

CSilentInstall::~CSilentInstall() {
    m_installer.reset();  // waits for its workers; their notifications land in the queue
}

void CSilentInstall::Say(const std::wstring& line) { DEBUG_LOG(L"%ls\r\n", line.c_str()); }

void CSilentInstall::OpenWithShell(const std::wstring& target, bool /*maximised*/) { DEBUG_LOG(L"not started: %ls\r\n", target.c_str()); }

int32_t CSilentInstall::CheckConnectivity() { return Utils::CheckNetwork(); }

bool CSilentInstall::IsRunning(const std::wstring& exeName) {
    const std::vector<Utils::ProcessEntry> processes = Utils::EnumerateProcesses();
    // The first entry is the system's idle process, as for the main window.
    for (size_t i = 1; i < processes.size(); ++i)
        if (processes[i].exeName == exeName) return true;
    return false;
}

uint32_t CSilentInstall::TickNow() { return Utils::TickCount(); }

void CSilentInstall::ShowProgress(const std::wstring& /*text*/, int percent) {
    m_percent = percent;
    const int decile = percent / 10;
    if (decile > m_shownDecile && decile <= 10) {
        m_shownDecile = decile;
        Say(L"progress " + std::to_wstring(decile * 10) + L"%");
    }
}

int CSilentInstall::ShowDialog(const std::wstring& layout, const std::wstring& text, const std::wstring& /*caption*/) {
    DEBUG_LOG(L"dialog %ls not shown (silent): %ls\r\n", layout.c_str(), text.c_str());
    return 2;  // as if closed: no retry, no closing
}

void CSilentInstall::OnInstallFinished() {
    install_records::SaveInstallRecords(InstallDir(), ReportedUninstaller());
    WriteHandOff(InstallDir());
    if (StartupStyleValue() != AutoStartup) return;
    if (StartUrl().size() > 5) OpenWithShell(StartUrl(), true);
    if (Utils::FileExists(ProductExe())) {
        Say(L"starting " + ProductExe());
        OpenWithShell(ProductExe(), false);
    }
}

int CSilentInstall::Refuse(::ExitCode code, const std::wstring& why) {
    Refused(code);
    Say(why);
    return Finish();
}

int CSilentInstall::Finish() {
    const int code = ExitCode();
    Say(L"result: " + std::wstring(ExitCodeText(code)) + L" (exit code " + std::to_wstring(code) + L")");
    return code;
}

void CSilentInstall::Post(int code, double value, const wchar_t* text) {
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_queue.push_back(NotifyRecord{code, value, text ? text : L""});
    }
    m_queueChanged.notify_one();
}

bool CSilentInstall::Next(NotifyRecord& record, bool wait) {
    std::unique_lock<std::mutex> lock(m_queueLock);
    if (wait) m_queueChanged.wait(lock, [this] { return !m_queue.empty(); });
    if (m_queue.empty()) return false;
    record = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

void CSilentInstall::Handle(const NotifyRecord& r) {
    switch (r.code) {
        case UNIST_CODE_START:
        case UNIST_CODE_PROGRESS:
            if (!m_removalAnnounced) Say(L"removing the previous version");
            m_removalAnnounced = true;
            break;
        case DL_CODE_START:
            Say(m_downloadAnnounced ? L"downloading the package again" : L"downloading the package");
            m_downloadAnnounced = true;
            break;
        case DL_CODE_SUCCESS:
            Say(L"package downloaded");
            break;
        case DL_CODE_MESSAGE:
            Say(L"download: " + r.text);
            break;
        case DL_CODE_FAIL:
            Say(L"download failed (code " + std::to_wstring(static_cast<long long>(r.value)) + L", " + r.text + L")");
            break;
        case IST_CODE_START:
            Say(L"running the package");
            break;
        case IST_CODE_FAIL:
            if (!r.text.empty()) Say(L"the package says: " + r.text);
            break;
        case UNIST_CODE_ERROR:
            if (!r.text.empty()) Say(L"the uninstaller says: " + r.text);
            break;
        case IST_RESULT_MESSAGE:
            Say(L"message from the package: " + r.text);
            break;
        default:
            break;
    }
    HandleNotify(r);
    if (r.code == IST_CODE_SUCCESS) Say(L"installed in " + InstallDir());
}

namespace {
bool IsVerdict(int code) {
    return code == DL_CODE_FAIL || code == IST_CODE_SUCCESS || code == IST_CODE_FAIL || code == UNIST_CODE_FAIL ||
           code == UNIST_CODE_ERROR;
}
}  // namespace

int CSilentInstall::Run() {
    const LaunchConfig::UnattendedOptions& options = m_config.Unattended;
    Say(L"silent installation started");

    // What the main window reads at set-up.
    const install_records::InstallRecords records = install_records::LoadInstallRecords();
    SetHasInstalledCopy(!records.installedPath.empty());
    const install_records::DefaultDirResult defaults =
        install_records::DefaultInstallDir(records, install_records::AccountEnvironment::System());
    if (HasInstalledCopy() && IsRunning(kProductExe))
        return Refuse(kExitProductRunning, L"Velqor is running: close it and start the installation again");

    // The installed copy is updated in its place, as "安装最新版本" does.
    const std::wstring folder =
        !options.InstallDir.empty() ? options.InstallDir : HasInstalledCopy() ? records.installedPath : defaults.folder;
    DEBUG_LOG(L"folder=%ls desktop=%d quicklaunch=%d\r\n", folder.c_str(), options.DesktopShortcut ? 1 : 0,
              options.QuickLaunch ? 1 : 0);
    Say(L"install folder " + folder);

    // The checks of an installation start.
    if (IsRunning(kUninstallerCopy))
        return Refuse(kExitProductRunning, L"the previous version's uninstaller is running: wait for it to end");
    if (IsRunning(kProductExe))
        return Refuse(kExitProductRunning, L"Velqor is running: close it and start the installation again");
    if (!Utils::CreateDirectories(folder))
        return Refuse(kExitInvalidFolder, L"the install folder cannot be created: " + folder);
    Utils::HardDiskManager disk;
    if (!install_checks::HasEnoughFreeSpace(disk, folder))
        return Refuse(kExitNotEnoughSpace, L"less than 1 GB is free on the drive of " + folder);

    SetInstallDir(folder);
    const std::wstring previousUninstaller =
        install_records::KeepPreviousVersion(folder, records.installedPath) ? L"" : records.previousUninstaller;
    m_installer = std::make_unique<CDownloadInstaller>(
        [this](int code, double value, const wchar_t* text) { Post(code, value, text); },
        ConfiguredDownloaderFactory(m_config));
    InstallChoices choices;
    choices.downloadUrl = m_config.DownloadUrl;
    choices.oldUninstaller = previousUninstaller;
    choices.installDir = folder;
    choices.desktopShortcut = options.DesktopShortcut;
    choices.quickLaunchShortcut = options.QuickLaunch;
    choices.adminAct = defaults.adminAct;
    choices.authorizationAct = defaults.authorizationAct;
    choices.downloadType = m_config.DownloadType;
    choices.instCmd = m_config.InstCmd;
    choices.publisher = m_config.Publisher;
    m_installer->SetOptions(choices);

    if (m_config.IsCheckNet) {
        Say(L"checking the network");
        const int status = Utils::NetworkStatus(CheckConnectivity());
        DEBUG_LOG(L"connectivity status=%u\r\n", static_cast<unsigned>(status));
        if (status != 0) return Refuse(kExitNoNetwork, L"no usable network connection (status " + std::to_wstring(status) + L")");
    }

    m_installer->Start();
    NotifyRecord record;
    while (Next(record, true)) {
        Handle(record);
        if (IsVerdict(record.code)) break;
    }
    // The workers end (a package still running is waited for); whatever they
    // said after the verdict is handled as the window would.
    m_installer.reset();
    while (Next(record, false)) Handle(record);
    return Finish();
}
