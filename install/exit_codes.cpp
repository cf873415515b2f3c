#include "install/exit_codes.h"

#include "install/pipeline.h"

const wchar_t* ExitCodeText(int code) {
    switch (code) {
        case kExitInstalled: return L"installed";
        case kExitAnotherInstance: return L"another installer is running";
        case kExitSkinFailure: return L"the installer's resources could not be loaded";
        case kExitBadCommandLine: return L"bad command line";
        case kExitProductRunning: return L"the product or its old uninstaller is running";
        case kExitNotEnoughSpace: return L"not enough disk space (1 GB needed)";
        case kExitInvalidFolder: return L"the install folder cannot be created";
        case kExitNoNetwork: return L"no usable network connection";
        case kExitRemovalFailed: return L"the previous version could not be removed";
        case kExitDownloadFailed: return L"the package could not be downloaded";
        case kExitVerificationFailed: return L"the downloaded package failed its MD5 check";
        case kExitPackageNotStarted: return L"the package could not be started";
        case kExitPackageFailed: return L"the package reported a failure";
        case kExitCrashed: return L"the installer failed";
        default: return L"unknown result";
    }
}

namespace {
// The downloaders' message for a digest mismatch ends in this text (the
// single-stream and the multi-part variants prefix it with their own tag).
constexpr wchar_t kDigestMismatch[] = L"md5校验失败";
// The package runner's value for a package that could not be started.
constexpr double kLaunchFailureValue = 2.0;

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

void InstallOutcome::Verdict(int code) {
    m_hasVerdict = true;
    m_code = code;
}

void InstallOutcome::Refused(ExitCode code) { Verdict(code); }

bool InstallOutcome::Observe(int code, double value, const std::wstring& text) {
    switch (code) {
        case DL_CODE_START:
            m_digestMismatch = false;  // a new download run (also after a retry)
            return false;
        case DL_CODE_MESSAGE:
            if (EndsWith(text, kDigestMismatch)) m_digestMismatch = true;
            return false;
        case DL_CODE_FAIL:
            Verdict(m_digestMismatch ? kExitVerificationFailed : kExitDownloadFailed);
            return true;
        case IST_CODE_SUCCESS:
            Verdict(kExitInstalled);
            return true;
        case IST_CODE_FAIL:
            Verdict(value == kLaunchFailureValue && text.empty() ? kExitPackageNotStarted : kExitPackageFailed);
            return true;
        case UNIST_CODE_FAIL:
        case UNIST_CODE_ERROR:
            Verdict(kExitRemovalFailed);
            return true;
        default:
            return false;
    }
}
