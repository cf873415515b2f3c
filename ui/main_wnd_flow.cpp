#include "ui/main_wnd_flow.h"

#include "analytics/reporting.h"
#include "config/launch_config.h"
#include "install/download_installer.h"
#include "install/failure_report.h"
#include "install/free_space.h"
#include "install/pipeline.h"
#include "ui/language.h"
#include "utils/log.h"
#include "utils/network.h"

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
    m_view.ShowProgress(m_progress.Text(percent, m_view.TickNow(), m_view.ProgressUserFormat()), percent);
}

void CMainWndFlow::HandleNotify(const NotifyRecord& r) {
    m_outcome.Observe(r.code, r.value, r.text);
    switch (r.code) {
        case DL_CODE_START:
            if (!m_startReported) {
                m_abGroup = m_view.ConfiguredAbGroup();
                OnDownloaderStarted();
            }
            m_progress.StartClock(m_view.TickNow());
            SendTaskEvent(kDownloadStartEvent, 0.0f, L"");
            break;
        case DL_CODE_PROGRESS:
            ShowProgressPercent(m_progress.DownloadPercent(r.value));
            break;
        case DL_CODE_SUCCESS:
            SendTaskEvent(kDownloadDoneEvent, m_progress.ElapsedSeconds(m_view.TickNow()), L"");
            break;
        case DL_CODE_FAIL:
            ReportDownloadFailure(r);
            ShowNetworkTip();
            break;
        case DL_CODE_MESSAGE:
            ReportInstallFailure(r, true);
            break;
        case IST_CODE_START:
            m_view.WriteHandOff(m_installDir);
            break;
        case IST_CODE_PROGRESS:
            ShowProgressPercent(m_progress.InstallPercent(r.value));
            break;
        case IST_CODE_SUCCESS:
            SendTaskEvent(kInstallSuccessEvent, 0.0f, L"");
            m_view.ShowFinishedPage();
            m_view.OnInstallFinished();
            break;
        case IST_CODE_FAIL:
            ReportInstallFailure(r, false);
            m_view.ShowDialog(kMessageBox2, r.text.empty() ? LanguageText(L"304", kInstallFailedText) : r.text,
                              LanguageText(L"201", kTipCaption));
            if (InstallProgress::FailureResetsBar(m_view.ProgressBarValue()))
                m_view.ShowProgress(LanguageText(L"113", kStartProgressText), 0);
            m_view.SelectMainPage(kPageWelcome);
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
            if (!r.text.empty()) m_view.ShowDialog(kMessageBox1, r.text, LanguageText(L"305", kMessageCaption));
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
    const int result = m_view.ShowDialog(kNetworkTip, L"", L"");
    if (result == 0) {
        if (m_savedPage == kPageWelcome || m_savedPage == kPageCustom) m_view.RetryInstall(m_savedPage);
    } else if (result == 1) {
        if (m_hasInstalledCopy) m_view.CloseMainWindow(1);
    }
    // A retry that passes its checks moves to the installing page later, when
    // its queued start arrives.
    m_view.SelectMainPage(m_savedPage);
}

void CMainWndFlow::ShowRunningProductFailure() {
    m_view.ShowDialog(kMessageBox1, LanguageText(L"301", kRunningProductText), LanguageText(L"201", kTipCaption));
    m_view.SelectMainPage(m_savedPage);
    if (m_hasInstalledCopy) m_view.CloseMainWindow(1);
}

void CMainWndFlow::ReportDownloadFailure(const NotifyRecord& r) {
    SendTaskEvent(install_checks::kDownloadFailureEvent, 0.0f,
                  m_view.BuildDownloadReport(r, m_view.NetworkStatus(), m_installDir));
}

void CMainWndFlow::ReportInstallFailure(const NotifyRecord& r, bool isDownload) {
    SendTaskEvent(isDownload ? install_checks::kDownloadFailureEvent : install_checks::kInstallFailureEvent, 0.0f,
                  install_checks::FormatInstallFailureReport(r.value, r.text));
}

int FlowView::NetworkStatus() {
    return Utils::NetworkStatus(Utils::CheckNetwork());
}

std::wstring FlowView::BuildDownloadReport(const NotifyRecord& r, int networkStatus, const std::wstring& installDir) {
    Utils::HardDiskManager disk;
    return install_checks::BuildDownloadFailureReport(r.value, r.text, CDownloadInstaller::PackagePathFor(installDir),
                                                      networkStatus, disk);
}

void CMainWndFlow::SendTaskEvent(const std::wstring& name, float elapsedSeconds, const std::wstring& reason) {
    m_view.SendTaskEvent(name, elapsedSeconds, reason, m_abGroup);
}

void FlowView::SendTaskEvent(const std::wstring& name, float elapsedSeconds, const std::wstring& reason,
                             const std::wstring& abGroup) {
    DEBUG_LOG(L"task %ls\r\n", name.c_str());
    ReportTaskEvent(name, elapsedSeconds, reason, {{L"AB", abGroup}});
}

void FlowView::WriteHandOff(const std::wstring& installDir) { WriteAnalyticsHandOff(installDir); }

std::wstring FlowView::ConfiguredAbGroup() { return GetLaunchConfig().ABGroup; }
