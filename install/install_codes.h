#pragma once
// Notification codes of the package run and of the previous-version uninstall.
// (The download codes 1001-1006 live with the downloader interface.)

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

// Verdicts of one parsed chunk of output.
constexpr int kVerdictNone = 0;
constexpr int kVerdictSuccess = 1;
constexpr int kVerdictFailure = 1000;
