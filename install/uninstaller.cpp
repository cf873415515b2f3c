#include "install/uninstaller.h"

#include "install/output_reader.h"
#include "install/protocol.h"
#include "utils/child_process.h"
#include "utils/fs.h"
#include "utils/sysinfo.h"
#include "utils/thread.h"

using namespace install_detail;

CUnInstaller::CUnInstaller(DownloadCallback callback, std::wstring exePath, std::wstring oldFolder)
    : m_callback(std::move(callback)), m_exePath(std::move(exePath)), m_oldFolder(std::move(oldFolder)) {}

CUnInstaller::~CUnInstaller() {
    m_worker.reset();
    m_child.reset();
}

void CUnInstaller::Notify(int code, double value, const std::wstring& text) {
    if (m_callback) m_callback(code, value, text.c_str());
}

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
    m_commandLine = BuildCommandLine(adminAct, Utils::IsProcessAdmin());
    if (m_worker) {
        m_worker->Join();
        m_worker.reset();
    }
    m_worker = std::make_unique<Utils::Thread>(this, L"UnInstaller",
                                               [](void* self) { return static_cast<CUnInstaller*>(self)->Execute(); });
    m_worker->Start();
}

uint32_t CUnInstaller::Execute() {
    struct RunEnd {
        std::function<void()>& handler;
        ~RunEnd() {
            if (handler) handler();
        }
    } runEnd{m_runEnded};
    if (!Utils::FileExists(m_exePath)) {
        Notify(UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在");
        return 0;
    }
    Notify(UNIST_CODE_PROGRESS, 0.0, L"");
    m_child.reset();
    m_child = std::make_unique<Utils::ChildProcess>();
    try {
        m_child->Launch(m_commandLine);
    } catch (const Utils::Exception&) {
        m_child.reset();
        Notify(UNIST_CODE_FAIL, 2.0, L"");
        return 0;
    }
    bool ok = ReadAll(
        *m_child, [this] { return m_codePage.load(); }, [this](const std::wstring& line) { return Parse(line); });
    m_child->WaitForExit();
    m_child->Close();
    m_child.reset();
    if (ok) Notify(UNIST_CODE_SUCCESS, 1.0, L"");
    return 0;
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
