// The silent installation road with the real orchestrator, downloader and demo
// package against the local download server (started here); only the
// process list, the connectivity query and the shell are the test's, so that a
// running product or a poor network can be had on demand.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/launch_config.h"
#include "app/silent_install.h"
#include "install/download_installer.h"
#include "install/exit_codes.h"
#include "install/install_records.h"
#include "tests/common/temp_dir.h"
#include "utils/child_process.h"
#include "utils/fs.h"
#include "utils/registry.h"
#include "utils/text.h"

namespace {

using testing_support::TempDir;

std::wstring DemoPackage() { return Utils::Utf8ToWide(VELQOR_DEMO_PACKAGE); }

class Server : public ::testing::Environment {
public:
    void SetUp() override {
        m_dir = std::make_unique<TempDir>();
        const std::wstring portFile = m_dir->File(L"port");
        m_pidFile = m_dir->File(L"pid");
        Run(L"--detach --root \"" + Utils::ParentPath(DemoPackage()) + L"\" --port-file \"" + portFile +
            L"\" --pid-file \"" + m_pidFile + L"\" --parent-pid " + std::to_wstring(Utils::CurrentProcessId()) +
            L" --max-seconds 900");
        std::string text;
        ASSERT_TRUE(Utils::ReadFileBytes(portFile, text));
        s_port = std::atoi(text.c_str());
    }
    void TearDown() override {
        Run(L"--stop --pid-file \"" + m_pidFile + L"\"");
        m_dir.reset();
    }
    static std::wstring Url(const std::wstring& path) { return L"http://127.0.0.1:" + std::to_wstring(s_port) + path; }

private:
    static void Run(const std::wstring& args) {
        Utils::ChildProcess p;
        p.Launch(L"python3 \"" + Utils::Utf8ToWide(VELQOR_DOWNLOAD_SERVER) + L"\" " + args);
        p.WaitForExit();
        p.Close();
    }
    static inline int s_port = 0;
    std::unique_ptr<TempDir> m_dir;
    std::wstring m_pidFile;
};

const auto* const kServer = ::testing::AddGlobalTestEnvironment(new Server);

class TestSilentInstall : public CSilentInstall {
public:
    using CSilentInstall::CSilentInstall;
    std::vector<std::wstring> said;
    std::vector<std::wstring> opened;
    std::vector<std::wstring> running;  // executable names that "run"
    int32_t connectivity = 0;
    int connectivityChecks = 0;

protected:
    void Say(const std::wstring& line) override {
        CSilentInstall::Say(line);
        said.push_back(line);
    }
    void OpenWithShell(const std::wstring& target, bool) override { opened.push_back(target); }
    int32_t CheckConnectivity() override {
        ++connectivityChecks;
        return connectivity;
    }
    bool IsRunning(const std::wstring& exeName) override {
        return std::find(running.begin(), running.end(), exeName) != running.end();
    }
};

class SilentInstall : public ::testing::Test {
protected:
    void SetUp() override {
        // The registry stand-in, the temp folder (uninstaller copy) and the
        // package's steering are this test's own.
        Save(L"VELQOR_REGISTRY_FILE", m_dir.File(L"registry.ini"));
        for (const wchar_t* name : {L"TMPDIR", L"TMP", L"TEMP"}) Save(name, m_dir.Path());
        Save(L"VELQOR_DEMO_RECORD", m_dir.File(L"record.txt"));
        Save(L"VELQOR_DEMO_MODE", L"");
        CDownloadInstaller::ResetFailedPackage();
        m_config.ApplyDefaults();
        m_config.IsEnableAppAnalytics = false;
        m_config.DownloadUrl = Server::Url(L"/r/" + Utils::FileNameOf(DemoPackage()));
        m_config.Unattended.Silent = true;
        m_config.Unattended.InstallDir = m_dir.File(L"Velqor Silent");
    }
    void TearDown() override {
        CDownloadInstaller::ResetFailedPackage();
        for (const auto& [name, value] : m_saved) Utils::SetEnv(name, value);
    }
    void Save(const std::wstring& name, const std::wstring& value) {
        std::wstring old;
        m_saved.emplace_back(name, Utils::GetEnv(name, old) ? old : L"");
        Utils::SetEnv(name, value);
    }
    std::wstring Installed(const wchar_t* name) const { return Utils::JoinPath(m_config.Unattended.InstallDir, name); }
    static std::wstring Registered() {
        std::wstring path;
        install_records::ReadRegistryValue(install_records::kInstallPathValue, path);
        return path;
    }
    static bool Said(const TestSilentInstall& s, const std::wstring& line) {
        return std::find(s.said.begin(), s.said.end(), line) != s.said.end();
    }

    TempDir m_dir;
    LaunchConfig m_config;
    std::vector<std::pair<std::wstring, std::wstring>> m_saved;
};

TEST_F(SilentInstall, InstallsRecordsAndReportsEveryStage) {
    m_config.Unattended.DesktopShortcut = false;
    TestSilentInstall install(m_config);
    EXPECT_EQ(install.Run(), kExitInstalled);
    EXPECT_TRUE(Utils::FileExists(Installed(L"Velqor.exe")));
    EXPECT_TRUE(Utils::FileExists(Installed(L"set.ini")));
    EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(m_config.Unattended.InstallDir)));
    EXPECT_EQ(Registered(), m_config.Unattended.InstallDir);
    EXPECT_TRUE(install.opened.empty());  // the package asked for UserStartup
    EXPECT_EQ(install.connectivityChecks, 0);  // IsCheckNet is off
    std::string record;
    ASSERT_TRUE(Utils::ReadFileBytes(m_dir.File(L"record.txt"), record));
    EXPECT_NE(record.find("-dsc=false"), std::string::npos);
    EXPECT_NE(record.find("-ssc=true"), std::string::npos);
    for (const wchar_t* line : {L"silent installation started", L"downloading the package", L"package downloaded",
                                L"running the package", L"progress 100%", L"result: installed (exit code 0)"})
        EXPECT_TRUE(Said(install, line)) << Utils::WideToUtf8(line);
    EXPECT_EQ(install.said.back(), L"result: installed (exit code 0)");
}

TEST_F(SilentInstall, StartsTheProductWhenThePackageAsksForAutoStartup) {
    Utils::SetEnv(L"VELQOR_DEMO_MODE", L"in-autostart");
    TestSilentInstall install(m_config);
    EXPECT_EQ(install.Run(), kExitInstalled);
    EXPECT_EQ(install.opened, std::vector<std::wstring>{Installed(L"Velqor.exe")});
}

TEST_F(SilentInstall, FailuresEndTheRunWithTheirCode) {
    struct Case {
        const char* what;
        const wchar_t* mode;
        const wchar_t* urlPath;  // empty: the package
        int expected;
    } cases[] = {
        {"package failure", L"in-fail", L"", kExitPackageFailed},
        {"package error line", L"in-error", L"", kExitPackageFailed},
        {"digest mismatch", L"", L"/m/wrongmd5/r/", kExitVerificationFailed},
        {"server error", L"", L"/m/404/r/", kExitDownloadFailed},
    };
    for (const auto& c : cases) {
        CDownloadInstaller::ResetFailedPackage();
        Utils::SetEnv(L"VELQOR_DEMO_MODE", c.mode);
        if (*c.urlPath) m_config.DownloadUrl = Server::Url(c.urlPath + Utils::FileNameOf(DemoPackage()));
        TestSilentInstall install(m_config);
        EXPECT_EQ(install.Run(), c.expected) << c.what;
        EXPECT_EQ(Registered(), L"") << c.what;
        EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(m_config.Unattended.InstallDir))) << c.what;
        EXPECT_EQ(install.said.back(), L"result: " + std::wstring(ExitCodeText(c.expected)) + L" (exit code " +
                                           std::to_wstring(c.expected) + L")")
            << c.what;
    }
}

TEST_F(SilentInstall, RefusalsStartNothing) {
    struct Case {
        const char* what;
        std::vector<std::wstring> running;
        bool checkNet;
        int32_t connectivity;
        std::wstring folder;
        int expected;
    } cases[] = {
        {"product running", {L"Velqor.exe"}, false, 0, L"", kExitProductRunning},
        {"old uninstaller running", {L"velqordoc_un_asa.exe"}, false, 0, L"", kExitProductRunning},
        {"poor network", {}, true, 1 << 16, L"", kExitNoNetwork},
        {"folder too long", {}, false, 0, m_dir.File(std::wstring(270, L'x')), kExitInvalidFolder},
    };
    for (const auto& c : cases) {
        LaunchConfig config = m_config;
        config.IsCheckNet = c.checkNet;
        if (!c.folder.empty()) config.Unattended.InstallDir = c.folder;
        TestSilentInstall install(config);
        install.running = c.running;
        install.connectivity = c.connectivity;
        EXPECT_EQ(install.Run(), c.expected) << c.what;
        EXPECT_FALSE(Utils::FileExists(m_dir.File(L"record.txt"))) << c.what << ": the package ran";
        EXPECT_FALSE(Utils::FileExists(Installed(L"Velqor.exe"))) << c.what;
    }
}

TEST_F(SilentInstall, AWorkingNetworkLetsTheInstallationGoOn) {
    m_config.IsCheckNet = true;
    TestSilentInstall install(m_config);
    install.connectivity = 0x0000FFFF;  // status 0 in the high half: usable
    EXPECT_EQ(install.Run(), kExitInstalled);
    EXPECT_EQ(install.connectivityChecks, 1);
}

TEST_F(SilentInstall, ThePreviousVersionIsRemovedFirstAndAFailedRemovalStopsTheRun) {
    const std::wstring old = m_dir.File(L"Old Velqor");
    Utils::MakeDirectory(old);
    ASSERT_TRUE(Utils::CopyFileTo(DemoPackage(), Utils::JoinPath(old, L"uninst.ep"), true));
    ASSERT_TRUE(install_records::WriteRegistryValue(install_records::kInstallPathValue, old));

    Utils::SetEnv(L"VELQOR_DEMO_MODE", L"un-fail");
    {
        TestSilentInstall install(m_config);
        EXPECT_EQ(install.Run(), kExitRemovalFailed);
        EXPECT_TRUE(Utils::FileExists(m_dir.File(L"record.txt.uninstall")));
        EXPECT_FALSE(Utils::FileExists(m_dir.File(L"record.txt")));  // no package
    }
    Utils::SetEnv(L"VELQOR_DEMO_MODE", L"");
    m_config.Unattended.InstallDir.clear();  // the installed copy is updated in its place
    TestSilentInstall install(m_config);
    EXPECT_EQ(install.Run(), kExitInstalled);
    EXPECT_TRUE(Said(install, L"removing the previous version"));
    EXPECT_TRUE(Said(install, L"install folder " + old));
    EXPECT_EQ(Registered(), old);
}

}  // namespace
