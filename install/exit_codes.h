#pragma once
// The installer's process exit codes, the same for a windowed and a silent run
// where they apply, and the tracker that derives the code of an installation
// attempt from its notifications. The README's "Unattended installs" table
// lists the same codes.
#include <string>

enum ExitCode : int {
    kExitInstalled = 0,            // installed (or nothing was attempted in a windowed run)
    kExitAnotherInstance = -1,     // another installer holds the single-instance lock
    kExitSkinFailure = 1,          // the embedded skin or a resource could not be loaded
    kExitBadCommandLine = 2,       // an option is unparsable or contradicts another one
    kExitProductRunning = 3,       // the product or the old version's uninstaller copy is running
    kExitNotEnoughSpace = 4,       // less than 1 GiB free on the install folder's drive
    kExitInvalidFolder = 5,        // the install folder cannot be created (or is too long)
    kExitNoNetwork = 6,            // the connectivity check found no usable network
    kExitRemovalFailed = 7,        // the previous version's uninstaller failed
    kExitDownloadFailed = 8,       // the package could not be downloaded
    kExitVerificationFailed = 9,   // the downloaded package's MD5 did not match
    kExitPackageNotStarted = 10,   // the package could not be started
    kExitPackageFailed = 11,       // the package reported a failure
    kExitCrashed = 12,             // a C++ exception that nothing caught ended the installer
};

// One line of text for a code ("download failed"), for the console and the log.
const wchar_t* ExitCodeText(int code);

// Follows the notifications of installation attempts and keeps the code of the
// latest verdict: a failure's code until a later success, 0 after a success.
// Before any verdict the code is 0 and HasVerdict() is false.
class InstallOutcome {
public:
    // One notification (any code; those without meaning here are ignored).
    // Returns true when it was a verdict (success or failure of the attempt).
    bool Observe(int code, double value, const std::wstring& text);
    // A refusal before the orchestrator started (checks, connectivity).
    void Refused(ExitCode code);

    bool HasVerdict() const { return m_hasVerdict; }
    int Code() const { return m_code; }

private:
    void Verdict(int code);
    bool m_digestMismatch = false;  // the current download run reported an MD5 mismatch
    bool m_hasVerdict = false;
    int m_code = kExitInstalled;
};
