#include "install/uninstaller.h"

#include "install/output_reader.h"
#include "install/protocol.h"
#include "utils/fs.h"
#include "utils/sysinfo.h"
#include "utils/text.h"

using namespace install_detail;

CUnInstaller::CUnInstaller(DownloadCallback callback, std::wstring exePath, std::wstring oldFolder)
    : ProtocolRunner(std::move(callback), L"UnInstaller"),
      m_exePath(std::move(exePath)),
      m_oldFolder(std::move(oldFolder)) {}

CUnInstaller::~CUnInstaller() { WaitForRun(); }

std::wstring CUnInstaller::BuildCommandLine(bool adminAct, bool authorizationAct) const {
    auto flag = [](bool b) { return b ? L"true" : L"false"; };
    // The program is quoted when its path has a blank (a user name with one puts
    // the cache folder there); the folder after "_?=" is last and never quoted.
    std::wstring program = m_exePath.find(L' ') != std::wstring::npos ? L"\"" + m_exePath + L"\"" : m_exePath;
    return program + L" /S -adminact=" + flag(adminAct) + L" -authorizationact=" + flag(authorizationAct) +
           L" -console=show _?=" + m_oldFolder;
}

void CUnInstaller::Run() {
    std::wstring user;
    bool adminAct = Utils::GetConsoleUserName(user) && Utils::IsUserAdmin(user);
    StartRun(BuildCommandLine(adminAct, Utils::IsProcessAdmin()));
}

void CUnInstaller::Execute() {
    if (!Utils::FileExists(m_exePath)) {
        Notify(UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在");
        return;
    }
    if (!m_refusal.empty()) {
        Notify(UNIST_CODE_FAIL, 3.0, m_refusal);
        return;
    }
    Notify(UNIST_CODE_PROGRESS, 0.0, L"");
    if (!LaunchChild(UNIST_CODE_FAIL)) return;
    if (ReadAndClose(&ReadAll)) Notify(UNIST_CODE_SUCCESS, 1.0, L"");  // no line gave a verdict
}

int CUnInstaller::Parse(const std::wstring& chunk) {
    int verdict = kVerdictNone;
    for (const std::wstring& line : Utils::SplitLines(chunk)) {
        std::wstring rest;
        if (MatchKey(line, L"Progress=", rest)) {
            Notify(UNIST_CODE_PROGRESS, DoubleValue(rest), L"");
        } else if (MatchKey(line, L"Error=", rest)) {
            Notify(UNIST_CODE_ERROR, 0.0, TextValue(rest));
            verdict = kVerdictFailure;
        } else if (MatchKey(line, L"State=", rest)) {
            std::wstring state = Trim(TextValue(rest));
            if (state == L"Success") {
                Notify(UNIST_CODE_SUCCESS, 0.0, L"");
                verdict = kVerdictSuccess;
            } else if (state == L"Fail") {
                Notify(UNIST_CODE_ERROR, 0.0, L"安装包卸载失败");
                verdict = kVerdictFailure;
            }
        } else if (MatchKey(line, L"Encode=", rest)) {
            m_codePage = UninstallerCodePage(TextValue(rest));
        }
    }
    return verdict;
}
