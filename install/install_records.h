#pragma once
// Records of an installed product: the registry values under the current user,
// the "uninst.ep" convention, the "set.ini" override switch, and the rules that
// derive the default and custom install folders from them. Free functions over
// plain values, so the main window only keeps the results.
#include <functional>
#include <string>

namespace install_records {

constexpr const wchar_t* kRegistryKey = L"Software\\ZelMoxSoft\\velqordoc";
constexpr const wchar_t* kInstallPathValue = L"InstallPath";
constexpr const wchar_t* kUninstallValue = L"UnInstallEp";
constexpr const wchar_t* kUninstallerFileName = L"uninst.ep";
constexpr const wchar_t* kProductFolderName = L"velqordoc";

// Returns false and leaves text unchanged when the key or value is missing.
bool ReadRegistryValue(const std::wstring& name, std::wstring& text);
bool WriteRegistryValue(const std::wstring& name, const std::wstring& text);

struct InstallRecords {
    std::wstring installedPath;        // registered install folder, or empty
    std::wstring previousUninstaller;  // registered uninstaller, or installedPath\uninst.ep
};

// Reads both values and applies the uninst.ep fallback.
InstallRecords LoadInstallRecords();

// After a successful installation: writes InstallPath = installDir and, when
// the uninstaller file exists, UnInstallEp = its path (reportedUninstaller, or
// installDir\uninst.ep when the package named none). Returns the uninstaller
// path that was checked.
std::wstring SaveInstallRecords(const std::wstring& installDir, const std::wstring& reportedUninstaller);

// What the default folder depends on besides the records; the defaults ask the
// system, tests replace them.
struct AccountEnvironment {
    std::function<bool()> consoleUserIsAdmin;      // the account at the console is an administrator
    std::function<bool()> processIsAdmin;          // this process holds an Administrators token
    std::function<bool(std::wstring&)> appData;    // the APPDATA variable, false when missing
    std::function<std::wstring()> programFiles;    // the (32-bit) program files folder
    static AccountEnvironment System();
};

struct DefaultDirResult {
    std::wstring folder;
    bool adminAct = false;
    bool authorizationAct = false;
};

DefaultDirResult DefaultInstallDir(const InstallRecords& records, const AccountEnvironment& env);

// The folder for a custom install: the edit box's text with "/" turned into
// "\"; the default folder itself when it names that folder, otherwise the text
// followed by "\velqordoc".
std::wstring CustomInstallDir(const std::wstring& editText, const std::wstring& defaultFolder);

// True when chosenFolder is the registered folder and its set.ini says
// [Uninstall] IsOverride=false (exactly): the previous version is then kept.
bool KeepPreviousVersion(const std::wstring& chosenFolder, const std::wstring& installedPath);

// Whether two folder paths name the same folder (separators, a trailing
// separator and letter case do not count).
bool SameFolder(const std::wstring& a, const std::wstring& b);

}  // namespace install_records
