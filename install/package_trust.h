#pragma once
// The check every program passes before this (elevated) process runs it: the
// downloaded package and the previous version's uninstaller copy. The file is
// held open against replacement from the check until it has been started, and
// its signature is verified whenever the way it arrived does not vouch for it.
#include <memory>
#include <string>

#include "install/pipeline.h"
#include "utils/signature.h"

namespace install_trust {

// A valid signature chained to a trusted root is required when a publisher is
// configured, when the package's URL is not HTTPS (redirects cannot leave
// HTTPS, so an HTTPS URL means HTTPS end to end) and for the URL-moniker
// downloader (DownloadType 2), whose redirects this process does not control.
bool SignatureRequired(const InstallChoices& choices);

// The failure value of a package or uninstaller refused by the check.
constexpr double kUntrustedValue = -990.0;

struct Verdict {
    bool ok = false;
    std::unique_ptr<Utils::HeldFile> file;  // held while ok
    std::wstring reason;                    // why not, for the user's report and the log
};

// Holds the program at path and checks it as the choices ask; what names it in
// the diagnostic line ("package", "uninstaller"). Where no signature is
// required, a digest that the download was checked against (checkedDigest,
// hex MD5 or SHA-256) is checked again on the held file: the file that runs is
// the one that was verified, even if the folder it lies in is writable by
// others.
Verdict CheckProgram(const std::wstring& path, const InstallChoices& choices, const wchar_t* what,
                     const std::string& checkedDigest = {});

}  // namespace install_trust
