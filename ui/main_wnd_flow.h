#pragma once
// The main window's reactions to the installation's notifications, kept apart
// from the window itself: the orchestrator's workers post every callback as a
// NotifyRecord, and the window thread hands each record to Handle(). What the
// reactions do to the screen (progress text and bar, pages, dialogs, closing)
// and the analytics calls go through the virtual members, which the skinned
// main window implements and tests replace.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "install/exit_codes.h"
#include "ui/install_progress.h"

// Posted to the main window for every notification of the installation
// (lParam: a heap NotifyRecord owned by the message), and accepted from other
// processes as the sign that the downloader has started.
constexpr unsigned WM_INSTALL_NOTIFY = 0x0400 + 1000;     // 2024
constexpr unsigned WM_DOWNLOADER_STARTED = 0x0400 + 200;  // 1224

struct NotifyRecord {
    int code = 0;
    double value = 0.0;
    std::wstring text;
};

// The records of notifications on their way to the window. A record is read
// only when this mailbox handed it out, so a message number posted by anybody
// else can never make the window read foreign memory; records whose message
// never arrived are freed with the mailbox.
class NotifyMailbox {
public:
    NotifyMailbox() = default;
    NotifyMailbox(const NotifyMailbox&) = delete;
    NotifyMailbox& operator=(const NotifyMailbox&) = delete;
    // Any thread.
    NotifyRecord* Add(int code, double value, std::wstring text);
    // The record back, once; nullptr for anything this mailbox did not hand out.
    std::unique_ptr<NotifyRecord> Take(const void* record);
    // A record whose message could not be posted.
    void Discard(const void* record) { Take(record); }
    size_t Pending() const;

private:
    mutable std::mutex m_mutex;
    std::unordered_map<const void*, std::unique_ptr<NotifyRecord>> m_records;
};

// Startup styles the package may ask for (code 3005).
enum StartupStyle { NonStartup = 0, AutoStartup = 1, UserStartup = 2 };

class CMainWndFlow {
public:
    static constexpr int kPageWelcome = 0;
    static constexpr int kPageCustom = 1;
    static constexpr int kPageInstalling = 2;
    static constexpr int kPageFinished = 3;

    explicit CMainWndFlow(double downloadScale) : m_progress(downloadScale) {}
    virtual ~CMainWndFlow() = default;
    CMainWndFlow(const CMainWndFlow&) = delete;
    CMainWndFlow& operator=(const CMainWndFlow&) = delete;

    // One notification, on the window thread. Unknown codes do nothing.
    void HandleNotify(const NotifyRecord& record);
    // The downloader's start, from this process (code 1001) or another one
    // (WM_DOWNLOADER_STARTED): reported once per run.
    void OnDownloaderStarted();

    // The analytics reports of a failed download (1004) and of a failed
    // package run or a downloader message (2004, 1006).
    void ReportDownloadFailure(const NotifyRecord& record);
    void ReportInstallFailure(const NotifyRecord& record, bool isDownload);

    const std::wstring& InstallDir() const { return m_installDir; }
    const std::wstring& ProductExe() const { return m_productExe; }
    const std::wstring& ReportedUninstaller() const { return m_reportedUninstaller; }
    const std::wstring& StartUrl() const { return m_startUrl; }
    int32_t StartupStyleValue() const { return m_startupStyle; }
    uint32_t TopShowDelay() const { return TopShowDetention; }
    uint32_t FinishCloseDelay() const { return FinsihCloseDetention; }
    const std::wstring& AbGroup() const { return m_abGroup; }
    bool StartReported() const { return m_startReported; }
    const InstallProgress& Progress() const { return m_progress; }
    NotifyMailbox& Mailbox() { return m_mailbox; }
    // The process exit code this run has earned so far: the code of the last
    // installation attempt's failure, 0 when it succeeded or none was made.
    int ExitCode() const { return m_outcome.Code(); }
    const InstallOutcome& Outcome() const { return m_outcome; }

protected:
    // ---- what the reactions need of the window and the outside world
    virtual uint32_t TickNow() = 0;  // milliseconds, wrapping
    // The layout's own progress text format ("" when it gives none).
    virtual std::wstring ProgressUserFormat() = 0;
    // The progress text and the bar's value.
    virtual void ShowProgress(const std::wstring& text, int percent) = 0;
    virtual int ProgressBarValue() = 0;
    // A modal dialog built from `layout`; empty text/caption keep the layout's
    // own. Returns the dialog's result (0 ok, 1 cancel, 2 closed).
    virtual int ShowDialog(const std::wstring& layout, const std::wstring& text, const std::wstring& caption) = 0;
    virtual void SelectMainPage(int page) = 0;
    // "重新安装" after a download failure: start again with the choices of `page`.
    virtual void RetryInstall(int page) = 0;
    virtual void CloseMainWindow(int code) = 0;
    // The finished page: bar at 100, product name, page 3.
    virtual void ShowFinishedPage() = 0;
    // After a successful package run: records, hand-off, start, timers.
    virtual void OnInstallFinished() = 0;
    // The connectivity status (0 usable) for the download-failure report.
    virtual int NetworkStatus();
    // Free gigabytes and writability of the package's folder for that report.
    virtual std::wstring BuildDownloadReport(const NotifyRecord& record, int networkStatus);
    // Sends a task event with the window's "AB" property.
    virtual void SendTaskEvent(const std::wstring& name, float elapsedSeconds, const std::wstring& reason);
    virtual void WriteHandOff(const std::wstring& installDir);
    // The A/B group of the launch configuration, taken at the first download start.
    virtual std::wstring ConfiguredAbGroup();

    void ShowProgressPercent(int percent);
    void ShowNetworkTip();
    void ShowRunningProductFailure();

    // ---- state of the current run
    std::wstring m_installDir;           // the chosen folder, then the package's "InstPath="
    std::wstring m_productExe;           // started at the end
    std::wstring m_reportedUninstaller;  // the package's "UninstEp="
    std::wstring m_startUrl = L"https://www.zelmoxsoft.com/converter";
    int32_t m_startupStyle = NonStartup;
    uint32_t TopShowDetention = 3000;           // ms after success until the window comes to the front
    uint32_t FinsihCloseDetention = 0xFFFFFFFFu;  // ms after success until the window closes itself
    int32_t m_savedPage = kPageWelcome;         // page the current installation was started from
    bool m_hasInstalledCopy = false;
    std::wstring m_abGroup = L"IN";
    bool m_startReported = false;
    InstallProgress m_progress;  // the download stopwatch and the pseudo progress
    NotifyMailbox m_mailbox;
    InstallOutcome m_outcome;  // verdicts of the attempts, for the exit code

public:
    static constexpr const wchar_t* kRunningProductText = L"安装程序检测到Velqor\r\n正在运行，请退出程序后再安装";
    static constexpr const wchar_t* kTipCaption = L"温馨提示";
    static constexpr const wchar_t* kStartProgressText = L"正在安装中:0%，请稍候...";
};
