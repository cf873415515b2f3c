#include "ui/main_wnd_flow.h"

#include "analytics/reporting.h"
#include "app/launch_config.h"
#include "download/download_utils.h"
#include "download/downloader.h"
#include "install/download_installer.h"
#include "install/failure_report.h"
#include "install/hard_disk_manager.h"
#include "install/install_codes.h"
#include "ui/language.h"
#include "utils/log.h"

namespace {
constexpr wchar_t kStartEvent[] = L"下载器启动";
constexpr wchar_t kDownloadStartEvent[] = L"开始下载大包";
constexpr wchar_t kDownloadDoneEvent[] = L"大包下载完毕";
constexpr wchar_t kInstallSuccessEvent[] = L"安装成功";
constexpr wchar_t kInstallFailedText[] = L"安装失败";
constexpr wchar_t kMessageCaption[] = L"消息";
constexpr wchar_t kMessageBox1[] = L"MessageBox1Wnd.xml";
constexpr wchar_t kMessageBox2[] = L"MessageBox2Wnd.xml";
constexpr wchar_t kNetworkTip[] = L"NetworkTipWnd.xml";

// A double from the package converted the way a C cast would, but defined for
// values outside the target's range (NaN and negatives give 0, huge values the maximum).
uint32_t ToMilliseconds(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(value);
}

int32_t ToStyle(double value) {
    if (!(value > -2147483648.0 && value < 2147483648.0)) return NonStartup;
    return static_cast<int32_t>(value);
}
}  // namespace

NotifyRecord* NotifyMailbox::Add(int code, double value, std::wstring text) {
    auto record = std::make_unique<NotifyRecord>(NotifyRecord{code, value, std::move(text)});
    NotifyRecord* raw = record.get();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.emplace(raw, std::move(record));
    return raw;
}

std::unique_ptr<NotifyRecord> NotifyMailbox::Take(const void* record) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_records.find(record);
    if (it == m_records.end()) return nullptr;
    std::unique_ptr<NotifyRecord> taken = std::move(it->second);
    m_records.erase(it);
    return taken;
}

size_t NotifyMailbox::Pending() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records.size();
}

void CMainWndFlow::OnDownloaderStarted() {
    if (m_startReported) return;
    m_startReported = true;
    SendTaskEvent(kStartEvent, 0.0f, L"");
}

void CMainWndFlow::ShowProgressPercent(int percent) {
    ShowProgress(m_progress.Text(percent, TickNow(), ProgressUserFormat()), percent);
}

void CMainWndFlow::HandleNotify(const NotifyRecord& r) {
    m_outcome.Observe(r.code, r.value, r.text);
    switch (r.code) {
        case DL_CODE_START:
            if (!m_startReported) {
                m_abGroup = ConfiguredAbGroup();
                OnDownloaderStarted();
            }
            m_progress.StartClock(TickNow());
            SendTaskEvent(kDownloadStartEvent, 0.0f, L"");
            break;
        case DL_CODE_PROGRESS:
            ShowProgressPercent(m_progress.DownloadPercent(r.value));
            break;
        case DL_CODE_SUCCESS:
            SendTaskEvent(kDownloadDoneEvent, m_progress.ElapsedSeconds(TickNow()), L"");
            break;
        case DL_CODE_FAIL:
            ReportDownloadFailure(r);
            ShowNetworkTip();
            break;
        case DL_CODE_MESSAGE:
            ReportInstallFailure(r, true);
            break;
        case IST_CODE_START:
            WriteHandOff(m_installDir);
            break;
        case IST_CODE_PROGRESS:
            ShowProgressPercent(m_progress.InstallPercent(r.value));
            break;
        case IST_CODE_SUCCESS:
            SendTaskEvent(kInstallSuccessEvent, 0.0f, L"");
            ShowFinishedPage();
            OnInstallFinished();
            break;
        case IST_CODE_FAIL:
            ReportInstallFailure(r, false);
            ShowDialog(kMessageBox2, r.text.empty() ? LanguageText(L"304", kInstallFailedText) : r.text,
                       LanguageText(L"201", kTipCaption));
            if (InstallProgress::FailureResetsBar(ProgressBarValue()))
                ShowProgress(LanguageText(L"113", kStartProgressText), 0);
            SelectMainPage(kPageWelcome);
            break;
        case IST_RESULT_INST_PATH:
            m_installDir = r.text;
            break;
        case IST_RESULT_EXE_PATH:
            m_productExe = r.text;
            break;
        case IST_RESULT_UNINST_EP:
            m_reportedUninstaller = r.text;
            break;
        case IST_RESULT_START_URL:
            m_startUrl = r.text;
            break;
        case IST_RESULT_STARTUP_STYLE:
            m_startupStyle = ToStyle(r.value);
            break;
        case IST_RESULT_TOP_SHOW_DETENTION:
            TopShowDetention = ToMilliseconds(r.value);
            break;
        case IST_RESULT_FINISH_CLOSE_DETENTION:
            FinsihCloseDetention = ToMilliseconds(r.value);
            break;
        case IST_RESULT_MESSAGE:
            // A message without words shows no dialog (it would show the layout's placeholder).
            if (!r.text.empty()) ShowDialog(kMessageBox1, r.text, LanguageText(L"305", kMessageCaption));
            break;
        case UNIST_CODE_FAIL:
        case UNIST_CODE_ERROR:
            ShowRunningProductFailure();
            break;
        default:  // 1005, 3002, 5001-5003 and unknown codes: nothing to show
            break;
    }
}

void CMainWndFlow::ShowNetworkTip() {
    const int result = ShowDialog(kNetworkTip, L"", L"");
    if (result == 0) {
        if (m_savedPage == kPageWelcome || m_savedPage == kPageCustom) RetryInstall(m_savedPage);
    } else if (result == 1) {
        if (m_hasInstalledCopy) CloseMainWindow(1);
    }
    // A retry that passes its checks moves to the installing page later, when
    // its queued start arrives.
    SelectMainPage(m_savedPage);
}

void CMainWndFlow::ShowRunningProductFailure() {
    ShowDialog(kMessageBox1, LanguageText(L"301", kRunningProductText), LanguageText(L"201", kTipCaption));
    SelectMainPage(m_savedPage);
    if (m_hasInstalledCopy) CloseMainWindow(1);
}

void CMainWndFlow::ReportDownloadFailure(const NotifyRecord& r) {
    SendTaskEvent(install_checks::kDownloadFailureEvent, 0.0f, BuildDownloadReport(r, NetworkStatus()));
}

void CMainWndFlow::ReportInstallFailure(const NotifyRecord& r, bool isDownload) {
    SendTaskEvent(isDownload ? install_checks::kDownloadFailureEvent : install_checks::kInstallFailureEvent, 0.0f,
                  install_checks::FormatInstallFailureReport(r.value, r.text));
}

int CMainWndFlow::NetworkStatus() {
    return static_cast<int>(static_cast<uint32_t>(Utils::CheckNetwork()) >> 16);
}

std::wstring CMainWndFlow::BuildDownloadReport(const NotifyRecord& r, int networkStatus) {
    Utils::HardDiskManager disk;
    return install_checks::BuildDownloadFailureReport(r.value, r.text, CDownloadInstaller::PackagePathFor(m_installDir),
                                                      networkStatus, disk);
}

void CMainWndFlow::SendTaskEvent(const std::wstring& name, float elapsedSeconds, const std::wstring& reason) {
    DEBUG_LOG(L"task %ls\r\n", name.c_str());
    ReportTaskEvent(name, elapsedSeconds, reason, {{L"AB", m_abGroup}});
}

void CMainWndFlow::WriteHandOff(const std::wstring& installDir) { WriteAnalyticsHandOff(installDir); }

std::wstring CMainWndFlow::ConfiguredAbGroup() { return GetLaunchConfig().ABGroup; }
