// A run of the installer's analytics that never ends normally: it reports a
// few task events (the server it was made for is closed, so they stay
// queued) and then is killed or crashes, as the tests ask:
//     analytics_crash_helper kill|crash <base folder>
// "crash" dereferences a null pointer (POSIX: raises SIGSEGV); the crash handler does what the
// installer's crash filter does (WriteCrashReport) and lets the crash go on.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

// Under AddressSanitizer the crash must reach this program's own handler, as
// it would without the sanitizer, instead of the sanitizer's report.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() { return "handle_segv=0"; }

#include "analytics/reporting.h"
#include "config/launch_config.h"
#include "utils/text.h"

namespace {

#ifdef _WIN32
LONG WINAPI Filter(EXCEPTION_POINTERS*) {
    WriteCrashReport();
    // The process ends here with the exception's code. (Handed on, the crash
    // would reach the system's debugger: Wine starts winedbg whatever the
    // error mode, and the test would wait for ever.)
    return EXCEPTION_EXECUTE_HANDLER;
}
#else
void OnSignal(int sig) {
    WriteCrashReport();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string mode = argv[1];
    LaunchConfig& config = GetLaunchConfig();
    config.IsEnableAppAnalytics = true;
    config.AnalyticsUrl = L"http://127.0.0.1:9/sa?project=pc";
    AnalyticsPlacement placement;
    placement.baseFolder = argv[2];
    InitAnalytics(placement);
    for (int i = 0; i < 3; ++i)
        ReportTaskEvent(L"下载器启动", 0.0f, Utils::Utf8ToWide("first run " + std::to_string(i)), {{L"AB", L"IN"}});
    std::fflush(nullptr);
    if (mode == "kill") {
#ifdef _WIN32
        ::TerminateProcess(::GetCurrentProcess(), 9);
#else
        ::kill(::getpid(), SIGKILL);
#endif
    } else if (mode == "crash") {
#ifdef _WIN32
        ::SetUnhandledExceptionFilter(Filter);
        // No debugger dialog for the crash that follows.
        ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#else
        std::signal(SIGSEGV, OnSignal);
#endif
#ifdef _WIN32
        volatile int* nowhere = nullptr;
        *nowhere = 1;
#else
        // The signal a bad memory access raises (a real null store would be
        // stopped by UndefinedBehaviorSanitizer before it faults).
        std::raise(SIGSEGV);
#endif
    }
    return 3;  // not reached
}
