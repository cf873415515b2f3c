#include "install/installer.h"

#include "install/output_reader.h"
#include "install/protocol.h"
#include "utils/log.h"
#include "utils/text.h"

using namespace install_detail;

CInstaller::CInstaller(DownloadCallback callback, std::wstring package, InstallChoices choices)
    : ProtocolRunner(std::move(callback), L"ABDEF"), m_package(std::move(package)), m_choices(std::move(choices)) {}

CInstaller::~CInstaller() { WaitForRun(); }  // waits for a running package

std::wstring CInstaller::BuildCommandLine() const {
    auto flag = [](bool b) { return b ? L"true" : L"false"; };
    std::wstring cmd = m_package;
    cmd += L" /S -console=show -version=1.0.0";
    cmd += L" -adminact=";
    cmd += flag(m_choices.adminAct);
    cmd += L" -authorizationact=";
    cmd += flag(m_choices.authorizationAct);
    cmd += L" -dsc=";
    cmd += flag(m_choices.desktopShortcut);
    cmd += L" -ssc=";
    cmd += flag(m_choices.quickLaunchShortcut);
    const std::wstring& language = m_choices.installLanguage;
    if (!language.empty()) cmd += L" -inslang=\"" + language + L"\"";
    const std::wstring& instCmd = m_choices.instCmd;
    if (!instCmd.empty()) cmd += L" " + instCmd;
    const std::wstring& dir = m_choices.installDir;
    if (!dir.empty()) {
        cmd += L" -instdir=\"" + dir + L"\"";
        cmd += L" /D=" + dir;
    }
    return cmd;
}

void CInstaller::Run() { StartRun(BuildCommandLine()); }

void CInstaller::Execute() {
    Notify(IST_CODE_START, 0.0, L"");
    Notify(IST_CODE_PROGRESS, 0.0, L"");
    // Each run's output is read in the ANSI code page until it says otherwise,
    // also when an earlier run on this object switched to another one.
    m_codePage = 0;
    SetExitWaitMs(m_choices.exitWaitMs);
    if (!LaunchChild(IST_CODE_FAIL)) return;
    if (ReadAndClose(&ReadUntilVerdict)) Notify(IST_CODE_SUCCESS, 1.0, L"");  // ended without a verdict
}

int CInstaller::Parse(const std::wstring& chunk) {
    int verdict = kVerdictNone;
    for (const std::wstring& line : Utils::SplitLines(chunk)) {
        std::wstring rest;
        if (MatchKey(line, L"Progress=", rest)) {
            Notify(IST_CODE_PROGRESS, DoubleValue(rest), L"");
        } else if (MatchKey(line, L"InstPath=", rest)) {
            Notify(IST_RESULT_INST_PATH, 0.0, TextValue(rest));
        } else if (MatchKey(line, L"State=", rest)) {
            std::wstring state = Trim(TextValue(rest));
            if (state == L"Success") {
                Notify(IST_CODE_SUCCESS, 0.0, L"");
                verdict = kVerdictSuccess;
            } else if (state == L"Fail") {
                Notify(IST_CODE_FAIL, 0.0, L"安装包安装失败");
                verdict = kVerdictFailure;
            }
        } else if (MatchKey(line, L"InstallVersion=", rest)) {
            VersionValue(rest, m_installVersion.major, m_installVersion.minor, m_installVersion.patch);
        } else if (MatchKey(line, L"ExePath=", rest)) {
            std::wstring value = TextValue(rest);
            DEBUG_LOG(L"ExePath: %ls", value.c_str());
            Notify(IST_RESULT_EXE_PATH, 0.0, value);
        } else if (MatchKey(line, L"StartExe=", rest)) {
            Notify(IST_RESULT_EXE_PATH, 0.0, TextValue(rest));
        } else if (MatchKey(line, L"UninstExePath=", rest)) {
            Notify(IST_RESULT_UNINST_EXE, 0.0, TextValue(rest));
        } else if (MatchKey(line, L"UninstExe=", rest)) {
            Notify(IST_RESULT_UNINST_EXE, 0.0, TextValue(rest));
        } else if (MatchKey(line, L"UninstEp=", rest)) {
            Notify(IST_RESULT_UNINST_EP, 0.0, TextValue(rest));
        } else if (MatchKey(line, L"Error=", rest)) {
            Notify(IST_CODE_FAIL, 1000.0, TextValue(rest));
            verdict = kVerdictFailure;
        } else if (MatchKey(line, L"TopShowDetention=", rest)) {
            Notify(IST_RESULT_TOP_SHOW_DETENTION, static_cast<double>(static_cast<uint32_t>(IntValue(rest))), L"");
        } else if (MatchKey(line, L"FinsihCloseDetention=", rest)) {
            Notify(IST_RESULT_FINISH_CLOSE_DETENTION, static_cast<double>(static_cast<uint32_t>(IntValue(rest))),
                   L"");
        } else if (MatchKey(line, L"StartUrl=", rest)) {
            Notify(IST_RESULT_START_URL, 0.0, TextValue(rest));
        } else if (MatchKey(line, L"StartupStyle=", rest)) {
            std::wstring style = Trim(TextValue(rest));
            StartupStyle v = style == L"AutoStartup" ? AutoStartup : style == L"UserStartup" ? UserStartup : NonStartup;
            Notify(IST_RESULT_STARTUP_STYLE, static_cast<double>(v), L"");
        } else if (MatchKey(line, L"Encode=", rest)) {
            m_codePage = PackageCodePage(TextValue(rest));
        } else if (MatchKey(line, L"Message=", rest)) {
            Notify(IST_RESULT_MESSAGE, 0.0, TextValue(rest));
        }
    }
    return verdict;
}
