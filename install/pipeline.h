#pragma once
// The vocabulary of the install pipeline, shared by the downloaders, the
// package and uninstaller runners, the orchestrator and the main window: the
// notification function, every notification code, the package's startup
// styles, the verdicts of parsed output and the choices of one installation.
#include <cstdint>
#include <functional>
#include <string>

// Notification function of the whole install pipeline: (code, value, text).
// Called on the workers' threads, never on the caller's.
using DownloadCallback = std::function<void(int code, double value, const wchar_t* text)>;

enum DownloadCode {
    DL_CODE_START = 1001,
    DL_CODE_PROGRESS = 1002,
    DL_CODE_SUCCESS = 1003,
    DL_CODE_FAIL = 1004,
    DL_CODE_RETRY = 1005,
    DL_CODE_MESSAGE = 1006,
};

enum InstallCode {
    IST_CODE_START = 2001,
    IST_CODE_PROGRESS = 2002,
    IST_CODE_SUCCESS = 2003,
    IST_CODE_FAIL = 2004,
};

// Result-record values reported by the package.
enum InstallResultCode {
    IST_RESULT_INST_PATH = 3000,
    IST_RESULT_EXE_PATH = 3001,
    IST_RESULT_UNINST_EXE = 3002,
    IST_RESULT_UNINST_EP = 3003,
    IST_RESULT_START_URL = 3004,
    IST_RESULT_STARTUP_STYLE = 3005,
    IST_RESULT_TOP_SHOW_DETENTION = 3007,
    IST_RESULT_FINISH_CLOSE_DETENTION = 3008,
    IST_RESULT_MESSAGE = 3009,
};

enum UninstallCode {
    UNIST_CODE_START = 5001,
    UNIST_CODE_PROGRESS = 5002,
    UNIST_CODE_SUCCESS = 5003,
    UNIST_CODE_FAIL = 5004,
    UNIST_CODE_ERROR = 5005,
};

// Startup styles the package may ask for, sent as the value of
// IST_RESULT_STARTUP_STYLE.
enum StartupStyle { NonStartup = 0, AutoStartup = 1, UserStartup = 2 };

// Verdicts of one parsed chunk of output.
constexpr int kVerdictNone = 0;
constexpr int kVerdictSuccess = 1;
constexpr int kVerdictFailure = 1000;

// Everything one installation is started with: the window's choices and the
// values of the launch configuration the pipeline needs.
struct InstallChoices {
    std::wstring downloadUrl;
    std::wstring oldUninstaller;  // the previous version's uninstaller to run first, or empty
    std::wstring installDir;
    bool desktopShortcut = true;
    bool quickLaunchShortcut = true;
    bool adminAct = true;
    bool authorizationAct = true;
    std::wstring installLanguage;  // "" for none
    int32_t downloadType = 1;      // 2 URL moniker, 3 multi-part, anything else single-stream
    std::wstring instCmd;          // extra text for the package's command line
    // How long the package or the previous uninstaller may keep running after
    // it printed its verdict before the installation goes on without it.
    uint32_t exitWaitMs = 30000;
    std::wstring publisher;        // the signer the package and the uninstaller must have; "" for any
};
