// The installer's entry point: start-up, the main window's message loop and the
// ordered shutdown.
#include <windows.h>
#include <curl/curl.h>

#include "analytics/reporting.h"
#include "config/launch_config.h"
#include "app/main_window.h"
#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    LaunchConfig& config = GetLaunchConfig();  // defaults and the file are applied already

    HardenDllSearch();
    SetUnhandledExceptionFilter(reinterpret_cast<LPTOP_LEVEL_EXCEPTION_FILTER>(&CrashFilter));

    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        config.CurlReady = false;
        // No tracker exists yet, so this report is dropped like any early one.
        ReportTaskEvent(L"libcurl初始化失败", 0.0f, L"", {{L"AB", L"IN"}});
    }

    InstanceMutex lock;
    if (!lock.Acquire()) return -1;  // another installer runs: leave silently

    InitAnalytics();
    config.ParseCommandLine();

    {
        MainWindowHost window(instance);
        window.Run();

        if (config.IsEnableAppAnalytics) ShutdownAnalytics();
        curl_global_cleanup();
    }  // the window object goes here, after analytics and libcurl
    lock.Release();
    return 0;
}
