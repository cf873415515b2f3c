#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "config/launch_config.h"
#include "app/silent_install.h"
#include "app/unattended.h"
#include "install/exit_codes.h"
#include "utils/desktop_shell.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {
constexpr wchar_t kPrefix[] = L"velqor-setup: ";

class WinSilentInstall : public CSilentInstall {
public:
    using CSilentInstall::CSilentInstall;

protected:
    void Say(const std::wstring& line) override {
        CSilentInstall::Say(line);
        ParentConsole::Get().Write(kPrefix + line);
    }
    void OpenWithShell(const std::wstring& target, bool maximised) override {
        DEBUG_LOG(L"opening %ls\r\n", target.c_str());
        const int show = maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
        // As the desktop user when the desktop shell takes it (see OpenShell
        // of the main window).
        std::wstring why;
        if (Utils::OpenAsDesktopUser(target, L"", show, why)) return;
        DEBUG_LOG(L"the desktop shell did not open it (%ls): opening it from this process\r\n", why.c_str());
        ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, show);
    }
};
}  // namespace

ParentConsole& ParentConsole::Get() {
    static ParentConsole console;
    return console;
}

ParentConsole::ParentConsole() {
    // A handle the starter redirected (a file or a pipe) is used as it is.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN && !GetConsoleMode(out, &mode)) {
        m_handle = out;
        return;
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) return;
    m_handle = console;
    m_isConsole = true;
    // The prompt of the console's shell is usually on the current line already.
    Write(L"");
}

void ParentConsole::Write(const std::wstring& line) {
    if (!m_handle) return;
    const std::wstring text = line + L"\r\n";
    DWORD written = 0;
    if (m_isConsole) {
        WriteConsoleW(m_handle, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string bytes = Utils::WideToUtf8(text);
        WriteFile(m_handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

int RefuseCommandLine(const LaunchConfig& config) {
    for (const std::wstring& error : config.Unattended.Errors) {
        DEBUG_LOG(L"bad command line: %ls\r\n", error.c_str());
        ParentConsole::Get().Write(kPrefix + std::wstring(L"bad command line: ") + error);
    }
    ParentConsole::Get().Write(kPrefix + std::wstring(L"result: ") + ExitCodeText(kExitBadCommandLine) +
                               L" (exit code " + std::to_wstring(kExitBadCommandLine) + L")");
    return kExitBadCommandLine;
}

int RunSilentInstall(const LaunchConfig& config) {
    // The connectivity queries (before the download and in a failure report)
    // need COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int code = kExitInstalled;
    {
        WinSilentInstall install(config);
        code = install.Run();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
