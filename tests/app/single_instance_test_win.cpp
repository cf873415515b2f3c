// Runs the real installer twice: the second process must end with -1 at once,
// showing nothing, while the first keeps running.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/startup.h"
#include "tests/common/host_path.h"
#include "utils/fs.h"
#include "utils/text.h"

namespace {

struct Process {
    PROCESS_INFORMATION pi{};
    ~Process() {
        if (pi.hProcess) {
            if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
    bool Launch(const std::wstring& exe) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring cmd = Utils::QuoteArgument(exe) + L" -isenableappanalytics=false";
        return CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != 0;
    }
    DWORD ExitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

// The installer built beside this test, as a Windows path (Wine maps / to Z:).
std::wstring InstallerPath() { return testing_support::HostPath(VELQOR_SETUP_EXE); }

BOOL CALLBACK CloseWindowsOf(HWND hwnd, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == static_cast<DWORD>(pid)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}

TEST(SingleInstance, SecondInstanceExitsWithMinusOneAndTheFirstKeepsRunning) {
    std::wstring display;
    if (!Utils::GetEnv(L"DISPLAY", display) || display.empty()) GTEST_SKIP() << "needs a display (Xvfb)";
    std::wstring exe = InstallerPath();
    ASSERT_TRUE(Utils::FileExists(exe)) << Utils::WideToUtf8(exe);

    Process first;
    ASSERT_TRUE(first.Launch(exe));
    // Wait until the first instance holds the lock (or has ended, which fails the test).
    HANDLE lock = nullptr;
    for (DWORD waited = 0; !lock && waited < 60000; waited += 50) {
        lock = OpenMutexW(SYNCHRONIZE, FALSE, InstanceMutex().KernelName().c_str());
        if (!lock && WaitForSingleObject(first.pi.hProcess, 50) == WAIT_OBJECT_0) break;
    }
    ASSERT_NE(lock, nullptr) << "the first instance never held the lock";
    CloseHandle(lock);
    WaitForInputIdle(first.pi.hProcess, 60000);  // its window's message loop runs

    Process second;
    ASSERT_TRUE(second.Launch(exe));
    ASSERT_EQ(WaitForSingleObject(second.pi.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(static_cast<int>(second.ExitCode()), -1);

    EXPECT_EQ(WaitForSingleObject(first.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "first one ended";
    EnumWindows(CloseWindowsOf, static_cast<LPARAM>(first.pi.dwProcessId));
    ASSERT_EQ(WaitForSingleObject(first.pi.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(first.ExitCode(), 0u);
}

TEST(SingleInstance, LockIsExclusiveWithinOneProcessToo) {
    InstanceMutex a(L"velqor-test-lock"), b(L"velqor-test-lock");
    ASSERT_TRUE(a.Acquire());
    EXPECT_FALSE(b.Acquire());
    a.Release();
    EXPECT_TRUE(b.Acquire());
}

}  // namespace
