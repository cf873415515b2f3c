// The installer's entry point: start-up, the main window's message loop (or
// the silent installation) and the ordered shutdown.
#include <windows.h>
#include <curl/curl.h>

#include <exception>
#include <memory>
#include <stdexcept>

#include "analytics/reporting.h"
#include "config/launch_config.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "app/unattended.h"
#include "install/exit_codes.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/sysinfo.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    LaunchConfig& config = GetLaunchConfig();  // defaults and the file are applied already

    HardenDllSearch();
    SetUnhandledExceptionFilter(reinterpret_cast<LPTOP_LEVEL_EXCEPTION_FILTER>(&CrashFilter));
    std::set_terminate(&TerminateAfterCrashReport);

    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        config.CurlReady = false;
        // No tracker exists yet, so this report is dropped like any early one.
        ReportTaskEvent(L"libcurl初始化失败", 0.0f, L"", {{L"AB", L"IN"}});
    }

    InstanceMutex lock;
    if (!lock.Acquire()) return kExitAnotherInstance;  // another installer runs: leave silently

    InitAnalytics();
    config.ParseCommandLine();
    // The tracker was made from the file's settings; a server named on the
    // command line takes over before anything is reported.
    SetAnalyticsServer(config.AnalyticsUrl);
#ifdef VELQOR_TEST_CRASH
    // Test builds only: crash here when asked, with the tracker made and its
    // crash report ready (no debugger dialog for it).
    // "1": an access violation; "2": a C++ exception that nothing catches.
    if (std::wstring crash; Utils::GetEnv(L"VELQOR_TEST_CRASH", crash)) {
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        if (crash == L"1") *static_cast<volatile int*>(nullptr) = 1;
        if (crash == L"2") throw std::runtime_error("test crash");
    }
#endif

    const LaunchConfig::UnattendedOptions& unattended = config.Unattended;
    if (!unattended.LogFile.empty()) {
        if (Utils::SetLogFile(unattended.LogFile))
            DEBUG_LOG(L"command line: %ls\r\n", Utils::GetProcessCommandLine().c_str());
        else if (unattended.Silent)
            ParentConsole::Get().Write(L"velqor-setup: the log file " + unattended.LogFile + L" cannot be opened");
    }

    int exitCode = kExitInstalled;
    {
        std::unique_ptr<MainWindowHost> window;
        if (!unattended.Errors.empty()) {
            exitCode = RefuseCommandLine(config);
        } else if (unattended.Silent) {
            exitCode = RunSilentInstall(config);
        } else {
            window = std::make_unique<MainWindowHost>(instance);
            window->Run();
            exitCode = window->ExitCode();
        }

        if (config.IsEnableAppAnalytics) ShutdownAnalytics();
        curl_global_cleanup();
    }  // the window object goes here, after analytics and libcurl
    lock.Release();
    DEBUG_LOG(L"exit code %d\r\n", exitCode);
    Utils::SetLogFile(L"");
    return exitCode;
}
