#pragma once
// The installation road without any window or dialog (-silent=true): the same
// checks, orchestrator, notification handling, records and analytics task
// events as the main window, with the window's screen work replaced by lines
// for a console and the diagnostic log, and every question answered the way
// an unattended run needs (no retry, no prompt: a refusal ends the run with
// its exit code). Click and view events need a user and are not sent.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "ui/main_wnd_flow.h"

class CDownloadInstaller;
class LaunchConfig;

class CSilentInstall : public CMainWndFlow {
public:
    explicit CSilentInstall(const LaunchConfig& config);
    ~CSilentInstall() override;

    // The whole road on the calling thread; returns the exit code.
    int Run();

    // Names of the programs whose running refuses an installation.
    static constexpr const wchar_t* kProductExe = L"Velqor.exe";
    static constexpr const wchar_t* kUninstallerCopy = L"velqordoc_un_asa.exe";

protected:
    // One line for whoever watches (a console); it is logged as well.
    virtual void Say(const std::wstring& line);
    // Opens a web page (maximised) or starts a program the way the shell does.
    virtual void OpenWithShell(const std::wstring& target, bool maximised);
    // The connectivity result (Utils::CheckNetwork's value).
    virtual int32_t CheckConnectivity();
    // Whether a process with this executable name runs (exact letter case).
    virtual bool IsRunning(const std::wstring& exeName);

    // CMainWndFlow: nothing is shown; dialogs are answered "closed".
    uint32_t TickNow() override;
    std::wstring ProgressUserFormat() override { return L""; }
    void ShowProgress(const std::wstring& text, int percent) override;
    int ProgressBarValue() override { return m_percent; }
    int ShowDialog(const std::wstring& layout, const std::wstring& text, const std::wstring& caption) override;
    void SelectMainPage(int) override {}
    void RetryInstall(int) override {}
    void CloseMainWindow(int) override {}
    void ShowFinishedPage() override {}
    void OnInstallFinished() override;

private:
    int Refuse(::ExitCode code, const std::wstring& why);
    int Finish();
    void Post(int code, double value, const wchar_t* text);
    bool Next(NotifyRecord& record, bool wait);
    void Handle(const NotifyRecord& record);

    const LaunchConfig& m_config;
    std::unique_ptr<CDownloadInstaller> m_installer;
    std::mutex m_queueLock;
    std::condition_variable m_queueChanged;
    std::deque<NotifyRecord> m_queue;
    int m_percent = 0;
    int m_shownDecile = 0;
    bool m_downloadAnnounced = false;
    bool m_removalAnnounced = false;
};
