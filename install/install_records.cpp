#include "install/install_records.h"

#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/registry.h"
#include "utils/sysinfo.h"
#include "utils/text.h"

namespace install_records {

bool ReadRegistryValue(const std::wstring& name, std::wstring& text) {
    return Utils::RegReadString(kRegistryKey, name, text);
}

bool WriteRegistryValue(const std::wstring& name, const std::wstring& text) {
    // Stored with its terminating zero; readers do not rely on it either way.
    return Utils::RegWriteString(kRegistryKey, name, text);
}

InstallRecords LoadInstallRecords() {
    InstallRecords r;
    ReadRegistryValue(kInstallPathValue, r.installedPath);
    ReadRegistryValue(kUninstallValue, r.previousUninstaller);
    if (r.previousUninstaller.empty() && !r.installedPath.empty())
        r.previousUninstaller = Utils::JoinPath(r.installedPath, kUninstallerFileName);
    return r;
}

std::wstring SaveInstallRecords(const std::wstring& installDir, const std::wstring& reportedUninstaller) {
    WriteRegistryValue(kInstallPathValue, installDir);
    std::wstring uninstaller =
        reportedUninstaller.empty() ? Utils::JoinPath(installDir, kUninstallerFileName) : reportedUninstaller;
    if (Utils::FileExists(uninstaller)) WriteRegistryValue(kUninstallValue, uninstaller);
    return uninstaller;
}

AccountEnvironment AccountEnvironment::System() {
    AccountEnvironment env;
    env.consoleUserIsAdmin = [] {
        std::wstring user;
        return Utils::GetConsoleUserName(user) && Utils::IsUserAdmin(user);
    };
    env.processIsAdmin = [] { return Utils::IsProcessAdmin(); };
    env.appData = [](std::wstring& value) { return Utils::GetEnv(L"APPDATA", value) && !value.empty(); };
    env.programFiles = [] { return Utils::GetSpecialFolder(Utils::SpecialFolder::ProgramFiles); };
    return env;
}

DefaultDirResult DefaultInstallDir(const InstallRecords& records, const AccountEnvironment& env) {
    DefaultDirResult r;
    r.adminAct = env.consoleUserIsAdmin();
    r.authorizationAct = env.processIsAdmin();
    std::wstring appData;
    if (!records.installedPath.empty() && Utils::FileExists(records.previousUninstaller)) {
        r.folder = records.installedPath;
    } else if (r.adminAct && r.authorizationAct && env.appData(appData)) {
        r.folder = Utils::JoinPath(Utils::JoinPath(appData, L"zelmox"), kProductFolderName);
    } else {
        r.folder = Utils::JoinPath(env.programFiles(), kProductFolderName);
    }
    return r;
}

namespace {
std::wstring NormalizeFolder(std::wstring p) {
    Utils::ReplaceAll(p, L"/", L"\\");
    std::wstring out;
    for (wchar_t c : p) {
        if (c == L'\\' && !out.empty() && out.back() == L'\\') continue;
        out += c;
    }
    while (out.size() > 1 && out.back() == L'\\') out.pop_back();
    return Utils::ToLower(out);
}
}  // namespace

bool SameFolder(const std::wstring& a, const std::wstring& b) { return NormalizeFolder(a) == NormalizeFolder(b); }

std::wstring CustomInstallDir(const std::wstring& editText, const std::wstring& defaultFolder) {
    std::wstring text = editText;
    Utils::ReplaceAll(text, L"/", L"\\");
    if (SameFolder(text, defaultFolder)) return defaultFolder;
    return Utils::JoinPath(text, kProductFolderName);
}

bool KeepPreviousVersion(const std::wstring& chosenFolder, const std::wstring& installedPath) {
    if (installedPath.empty() || !SameFolder(chosenFolder, installedPath)) return false;
    std::wstring setIni = Utils::JoinPath(chosenFolder, L"set.ini");
    return Utils::IniReadString(setIni, L"Uninstall", L"IsOverride", L"true", 20) == L"false";
}

}  // namespace install_records
