// The download-then-install sequence end to end: the local download server
// serves the demo package, the real downloaders fetch it, the demo package
// installs (and, as the previous version, uninstalls) the demo product.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "common/temp_dir.h"
#include "demo.h"
#include "download/curl_downloader.h"
#include "download/downloader_factory.h"
#include "download/mt_curl_downloader.h"
#include "install/download_installer.h"
#include "install/installer.h"
#include "recorder.h"
#include "tests/common/host_path.h"
#include "utils/child_process.h"
#include "utils/fs.h"
#include "utils/process.h"
#include "utils/text.h"
#include "utils/time.h"
#ifdef _WIN32
#include "download/win_downloader.h"
#else
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#endif

using install_test::DemoMode;
using install_test::DemoPackagePath;
using install_test::Note;
using install_test::ReadLines;
using install_test::Recorder;

namespace {

[[maybe_unused]] std::wstring FromBuildPath(const char* path) {  // used by the Windows build only
    return testing_support::HostPath(path);
}

// The local download server, serving the folder of the demo package. Natively
// the tests start it; under Wine a ctest fixture has started it and left its
// port in a file.
class ServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
#ifdef _WIN32
        ReadPort(FromBuildPath(VELQOR_SERVER_PORT_FILE));
#else
        m_dir = std::make_unique<testing_support::TempDir>();
        const std::wstring portFile = m_dir->File(L"port");
        m_pidFile = m_dir->File(L"pid");
        Utils::ChildProcess launcher;
        launcher.Launch(L"python3 \"" + Utils::Utf8ToWide(VELQOR_DOWNLOAD_SERVER) + L"\" --detach --root \"" +
                        Utils::ParentPath(DemoPackagePath()) + L"\" --port-file \"" + portFile +
                        L"\" --pid-file \"" + m_pidFile + L"\" --parent-pid " +
                        std::to_wstring(Utils::CurrentProcessId()) + L" --max-seconds 900");
        launcher.WaitForExit();
        launcher.Close();
        ReadPort(portFile);
#endif
    }
    void TearDown() override {
#ifndef _WIN32
        Utils::ChildProcess stopper;
        stopper.Launch(L"python3 \"" + Utils::Utf8ToWide(VELQOR_DOWNLOAD_SERVER) + L"\" --stop --pid-file \"" +
                       m_pidFile + L"\"");
        stopper.WaitForExit();
        stopper.Close();
        m_dir.reset();
#endif
    }
    static int Port() { return s_port; }

private:
    static void ReadPort(const std::wstring& file) {
        std::string text;
        ASSERT_TRUE(Utils::ReadFileBytes(file, text)) << "no server port file";
        s_port = std::atoi(text.c_str());
        ASSERT_GT(s_port, 0);
    }
    static inline int s_port = 0;
    std::unique_ptr<testing_support::TempDir> m_dir;
    std::wstring m_pidFile;
};

const auto* const kServer = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

// The URL of a file served from the demo package's folder.
std::wstring ServedUrl(const std::wstring& name) {
    return L"http://127.0.0.1:" + std::to_wstring(ServerEnvironment::Port()) + L"/r/" + name;
}

std::wstring PackageUrl(const std::wstring& modes = L"") {
    std::wstring base = L"http://127.0.0.1:" + std::to_wstring(ServerEnvironment::Port());
    std::wstring name = Utils::FileNameOf(DemoPackagePath());
    return modes.empty() ? base + L"/r/" + name : base + L"/m/" + modes + L"/r/" + name;
}

// Notifications whose orchestrator handler has returned (so its reaction is done).
Recorder& Handled() {
    static Recorder* recorder = new Recorder;
    return *recorder;
}

// The real downloaders by type, with short pauses between attempts; the
// orchestrator's handler is wrapped so that tests see when it has finished.
std::unique_ptr<CDownloader> FastDownloader(int type, DownloadCallback orchestratorHandler, const std::wstring& url,
                                            const std::wstring& path) {
    DownloadCallback after = Handled().Callback();
    DownloadCallback handler = [orchestratorHandler, after](int code, double value, const wchar_t* text) {
        orchestratorHandler(code, value, text);
        after(code, value, text);
    };
    DownloadDelays quick{50, 50, 10, 50};
    if (type == 3) return std::make_unique<CMTCurlDownloader>(std::move(handler), url, path, quick);
#ifdef _WIN32
    if (type == 2) return std::make_unique<CWinDownloader>(std::move(handler), url, path, quick);
#endif
    return std::make_unique<CCurlDownloader>(std::move(handler), url, path, quick);
}

class Orchestrator : public ::testing::Test {
protected:
    void SetUp() override {
        // A temp folder of this test's own, so that parallel test processes do
        // not share the cache folder where the uninstaller copy runs.
        for (const wchar_t* name : {L"TMPDIR", L"TMP", L"TEMP"}) {
            std::wstring value;
            m_savedTemp.emplace_back(name, Utils::GetEnv(name, value) ? value : L"");
            Utils::SetEnv(name, m_dir.Path());
        }
        Utils::RemoveFile(CacheCopy());
    }
    void TearDown() override {
        for (const auto& [name, value] : m_savedTemp) Utils::SetEnv(name, value);
    }
    static std::wstring CacheCopy() { return Utils::GetTempCacheDir() + CDownloadInstaller::kUninstallerCopyName; }

    // Makes a previous installation of the demo product in `folder`.
    static std::wstring InstallPrevious(const std::wstring& folder) {
        Utils::MakeDirectory(folder);
        Utils::WriteFileBytes(Utils::JoinPath(folder, L"Velqor.exe"), "old product");
        std::wstring uninstaller = Utils::JoinPath(folder, L"uninst.ep");
        EXPECT_TRUE(Utils::CopyFileTo(DemoPackagePath(), uninstaller, true));
        return uninstaller;
    }

    // The choices of one start (single-stream download unless said otherwise).
    static InstallChoices Choices(const std::wstring& url, const std::wstring& oldUninstaller,
                                  const std::wstring& folder, bool desktop, bool quick, bool admin, bool auth,
                                  const std::wstring& language) {
        InstallChoices c;
        c.downloadUrl = url;
        c.oldUninstaller = oldUninstaller;
        c.installDir = folder;
        c.desktopShortcut = desktop;
        c.quickLaunchShortcut = quick;
        c.adminAct = admin;
        c.authorizationAct = auth;
        c.installLanguage = language;
        c.downloadType = 1;
        return c;
    }

    static size_t IndexOf(const std::vector<int>& codes, int code) {
        return static_cast<size_t>(std::find(codes.begin(), codes.end(), code) - codes.begin());
    }

    testing_support::TempDir m_dir;
    Recorder m_rec;
    std::vector<std::pair<std::wstring, std::wstring>> m_savedTemp;
};

TEST_F(Orchestrator, CleanInstall) {
    const std::wstring folder = m_dir.File(L"Velqor Doc");
    DemoMode mode(L"", m_dir.File(L"cmdline.txt"));
    {
        CDownloadInstaller orchestrator(m_rec.Callback(), FastDownloader);
        // A registered uninstaller that no longer exists is skipped.
        orchestrator.SetOptions(
            Choices(PackageUrl(), m_dir.File(L"gone\\uninst.ep"), folder, true, false, false, true, L"zh-CN"));
        orchestrator.Start();
        ASSERT_TRUE(m_rec.WaitForAny({2003, 2004, 1004}));
        EXPECT_EQ(orchestrator.PackagePath(), folder + L"\\__Package_velqordoc.exe");
        EXPECT_EQ(orchestrator.FailedPackage(), L"");
    }
    std::vector<int> codes = m_rec.Codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), 1001);
    EXPECT_EQ(codes.back(), 2003);
    // Download notifications, then the package's, never interleaved.
    size_t success = IndexOf(codes, 1003);
    ASSERT_LT(success, codes.size());
    for (size_t i = 0; i < success; ++i) EXPECT_TRUE(codes[i] == 1001 || codes[i] == 1002 || codes[i] == 1006) << codes[i];
    EXPECT_EQ(codes[success + 1], 2001);
    EXPECT_EQ(codes[success + 2], 2002);
    EXPECT_EQ(m_rec.WithCode(2003).size(), 1u);
    EXPECT_EQ(m_rec.WithCode(3000).at(0).text, folder);
    EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(folder)));
    EXPECT_TRUE(Utils::FileExists(Utils::JoinPath(folder, L"Velqor.exe")));
    EXPECT_TRUE(Utils::FileExists(Utils::JoinPath(folder, L"uninst.ep")));
    // The package got the choices of this start.
    auto lines = ReadLines(m_dir.File(L"cmdline.txt"));
    ASSERT_GT(lines.size(), 9u);
    EXPECT_EQ(lines[5], L"-adminact=false");
    EXPECT_EQ(lines[6], L"-authorizationact=true");
    EXPECT_EQ(lines[7], L"-dsc=true");
    EXPECT_EQ(lines[8], L"-ssc=false");
    EXPECT_EQ(lines[9], L"-inslang=zh-CN");
}

// What this (elevated) process runs is checked first: a package that fails
// its signature check is a failed download, never started.
TEST_F(Orchestrator, OnlyTrustedPackagesRun) {
    const std::wstring demo = Utils::FileNameOf(DemoPackagePath());
    const std::wstring other = Utils::FileNameOf(DemoPackagePath()).insert(demo.rfind(L"package") + 7, L"-other");
    // A package-sized file without any signature, served beside the demo.
    const std::wstring junk = L"unsigned-" + std::to_wstring(Utils::CurrentProcessId()) + L".exe";
    const std::wstring junkPath = Utils::JoinPath(Utils::ParentPath(DemoPackagePath()), junk);
    ASSERT_TRUE(Utils::WriteFileBytes(junkPath, std::string(1572864, 'x')));
    struct Case {
        const char* name;
        std::wstring file;
        std::wstring publisher;
        int ending;
    };
    const Case cases[] = {
        {"unsigned", junk, L"", 1004},
        {"signed by another publisher than the configured one", other, L"Velqor Test Publisher", 1004},
        {"any valid signature when no publisher is configured", other, L"", 2003},
        {"signed by the configured publisher", demo, L"Velqor Test Publisher", 2003},
    };
    int i = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring folder = m_dir.File(L"t" + std::to_wstring(++i));
        const std::wstring record = m_dir.File(L"cmdline" + std::to_wstring(i) + L".txt");
        Recorder rec;
        DemoMode mode(L"", record);
        {
            CDownloadInstaller orchestrator(rec.Callback(), FastDownloader);
            InstallChoices choices = Choices(ServedUrl(c.file), L"", folder, true, true, true, true, L"");
            choices.publisher = c.publisher;
            orchestrator.SetOptions(choices);
            orchestrator.Start();
            ASSERT_TRUE(rec.WaitForAny({2003, 2004, 1004}));
        }
        EXPECT_EQ(rec.Codes().back(), c.ending);
        EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(folder)));
        if (c.ending == 1004) {
            const Note failure = rec.WithCode(1004).at(0);
            EXPECT_EQ(failure.value, -990.0);
            EXPECT_NE(failure.text.find(L"signature check failed"), std::wstring::npos) << Utils::WideToUtf8(failure.text);
            EXPECT_TRUE(rec.WithCode(1003).empty());
            EXPECT_TRUE(rec.WithCode(2001).empty());
            EXPECT_FALSE(Utils::FileExists(record)) << "the package ran";
        }
    }
    Utils::RemoveFile(junkPath);
}

// The previous version's uninstaller copy is checked the same way.
TEST_F(Orchestrator, UntrustedUninstallerIsNotRun) {
    const std::wstring oldFolder = m_dir.File(L"old version");
    const std::wstring uninstaller = InstallPrevious(oldFolder);
    ASSERT_TRUE(Utils::WriteFileBytes(uninstaller, std::string(4096, 'x')));
    DemoMode mode(L"", m_dir.File(L"cmdline.txt"));
    {
        CDownloadInstaller orchestrator(m_rec.Callback(), FastDownloader);
        orchestrator.SetOptions(Choices(PackageUrl(), uninstaller, m_dir.File(L"new"), true, true, true, true, L""));
        orchestrator.Start();
        ASSERT_TRUE(m_rec.WaitForAny({2003, 2004, 1004, 5004, 5005}));
    }
    ASSERT_EQ(m_rec.Codes().back(), 5004);
    const Note failure = m_rec.WithCode(5004).at(0);
    EXPECT_EQ(failure.value, 3.0);
    EXPECT_NE(failure.text.find(L"uninstaller signature check failed"), std::wstring::npos);
    EXPECT_TRUE(m_rec.WithCode(1001).empty());
    EXPECT_TRUE(Utils::DirectoryExists(oldFolder));
}

TEST_F(Orchestrator, PackageFailureDeletesThePackage) {
    const std::wstring folder = m_dir.File(L"target");
    DemoMode mode(L"in-fail", m_dir.File(L"cmdline.txt"));
    {
        CDownloadInstaller orchestrator(m_rec.Callback(), FastDownloader);
        orchestrator.SetOptions(Choices(PackageUrl(), L"", folder, true, true, true, true, L""));
        orchestrator.Start();
        ASSERT_TRUE(m_rec.WaitForAny({2003, 2004, 1004}));
    }
    EXPECT_EQ(m_rec.Notes().back(), (Note{2004, 0, L"安装包安装失败"}));
    EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(folder)));
}

TEST_F(Orchestrator, PreviousVersionIsUninstalledFirst) {
    const std::wstring oldFolder = m_dir.File(L"old version");
    const std::wstring uninstaller = InstallPrevious(oldFolder);
    const std::wstring folder = m_dir.File(L"new");
    DemoMode mode(L"", m_dir.File(L"cmdline.txt"));
    {
        CDownloadInstaller orchestrator(m_rec.Callback(), FastDownloader);
        orchestrator.SetOptions(Choices(PackageUrl(), uninstaller, folder, true, true, true, true, L""));
        orchestrator.Start();
        ASSERT_TRUE(m_rec.WaitForAny({2003, 2004, 1004, 5004, 5005}));
    }
    std::vector<int> codes = m_rec.Codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), 5002);
    size_t uninstalled = IndexOf(codes, 5003);
    size_t started = IndexOf(codes, 1001);
    ASSERT_LT(uninstalled, codes.size());
    EXPECT_LT(uninstalled, started);
    EXPECT_EQ(codes.back(), 2003);
    // The copy ran from a private folder of its own under the temp folder, on
    // the old folder; the private folder went with the orchestrator.
    auto lines = ReadLines(m_dir.File(L"cmdline.txt.uninstall"));
    ASSERT_FALSE(lines.empty());
    const std::wstring copy = Utils::SplitCommandLine(lines[0]).at(0);
    EXPECT_EQ(Utils::FileNameOf(copy), L"velqordoc_un_asa.exe");
    EXPECT_EQ(Utils::ParentPath(Utils::ParentPath(copy)), m_dir.Path());
    EXPECT_EQ(Utils::FileNameOf(Utils::ParentPath(copy)).rfind(L"vq-", 0), 0u);
    EXPECT_FALSE(Utils::PathExists(Utils::ParentPath(copy)));
    EXPECT_FALSE(Utils::DirectoryExists(oldFolder));
    EXPECT_TRUE(Utils::FileExists(Utils::JoinPath(folder, L"Velqor.exe")));
}

TEST_F(Orchestrator, DownloadWaitsForAnUninstallerThatReportsSuccessEarly) {
    const std::wstring oldFolder = m_dir.File(L"same");
    const std::wstring uninstaller = InstallPrevious(oldFolder);
    const std::wstring record = m_dir.File(L"cmdline.txt");
    const std::wstring done = record + L".uninstall.done";
    DemoMode mode(L"un-early", record);
    std::atomic<int> doneAtDownloadStart{-1};
    DownloadCallback forward = m_rec.Callback();
    {
        CDownloadInstaller orchestrator(
            [&](int code, double value, const wchar_t* text) {
                if (code == 1001) doneAtDownloadStart = Utils::FileExists(done) ? 1 : 0;
                forward(code, value, text);
            },
            FastDownloader);
        // Reinstalling into the old folder itself.
        orchestrator.SetOptions(Choices(PackageUrl(), uninstaller, oldFolder, true, true, true, true, L""));
        orchestrator.Start();
        ASSERT_TRUE(m_rec.WaitForAny({2003, 2004, 1004, 5004, 5005}));
    }
    EXPECT_EQ(m_rec.WithCode(5003).size(), 1u);
    EXPECT_EQ(doneAtDownloadStart.load(), 1);
    EXPECT_EQ(m_rec.Codes().back(), 2003);
    EXPECT_TRUE(Utils::FileExists(Utils::JoinPath(oldFolder, L"Velqor.exe")));
}

// Waits (generously) for a file that a child writes.
bool WaitForFile(const std::wstring& path) {
    for (int i = 0; i < 6000; ++i) {
        if (Utils::FileExists(path)) return true;
        Utils::SleepMs(10);
    }
    return false;
}

// An old uninstaller that prints its success and then lingers: the download
// starts after the bounded wait, while the uninstaller still runs.
TEST_F(Orchestrator, DownloadStartsAfterABoundedWaitForALingeringUninstaller) {
    const std::wstring uninstaller = InstallPrevious(m_dir.File(L"old"));
    const std::wstring folder = m_dir.File(L"new");
    const std::wstring record = m_dir.File(L"cmdline.txt");
    const std::wstring lingered = record + L".uninstall.lingered";
    DemoMode mode(L"un-linger", record);
    std::atomic<int> lingeredAtDownloadStart{-1};
    DownloadCallback forward = m_rec.Callback();
    {
        CDownloadInstaller orchestrator(
            [&](int code, double value, const wchar_t* text) {
                if (code == 1001) lingeredAtDownloadStart = Utils::FileExists(lingered) ? 1 : 0;
                forward(code, value, text);
            },
            FastDownloader);
        InstallChoices choices = Choices(PackageUrl(), uninstaller, folder, true, true, true, true, L"");
        choices.exitWaitMs = 200;
        orchestrator.SetOptions(choices);
        orchestrator.Start();
        ASSERT_TRUE(m_rec.WaitForAny({2003, 2004, 1004, 5004, 5005}));
    }
    EXPECT_EQ(lingeredAtDownloadStart.load(), 0);
    EXPECT_EQ(m_rec.Codes().back(), 2003);
    Utils::WriteFileBytes(record + L".uninstall.release", "go\n");
    EXPECT_TRUE(WaitForFile(lingered));
}

#ifndef _WIN32
// "重新安装" while the failed package still runs after its verdict: the late
// clean-up of that run must not delete the package the new start downloaded.
// (On Windows the running package's file cannot be replaced at all, so the
// new download fails there instead; the runner tests cover the bounded wait.)
TEST_F(Orchestrator, ANewStartKeepsItsPackageFromTheLateCleanUpOfTheLastRun) {
    const std::wstring folder = m_dir.File(L"target");
    const std::wstring record = m_dir.File(L"cmdline.txt");
    auto mode = std::make_unique<DemoMode>(L"in-fail,in-linger", record);
    {
        CDownloadInstaller orchestrator(m_rec.Callback(), FastDownloader);
        InstallChoices choices = Choices(PackageUrl(), L"", folder, true, true, true, true, L"");
        choices.exitWaitMs = 120000;
        orchestrator.SetOptions(choices);
        orchestrator.Start();
        ASSERT_TRUE(m_rec.WaitForAny({2004, 1004}));
        ASSERT_EQ(m_rec.Codes().back(), 2004);
        mode.reset();
        DemoMode next(L"", record);
        orchestrator.Start();
        // The new package is downloaded; its run waits for the lingering one.
        ASSERT_TRUE(m_rec.WaitForCount(1003, 2));
        Utils::WriteFileBytes(record + L".release", "go\n");
        ASSERT_TRUE(m_rec.WaitForCount(2001, 2));
        ASSERT_TRUE(m_rec.WaitForAny({2003}));
    }
    EXPECT_EQ(m_rec.Codes().back(), 2003);
    EXPECT_EQ(m_rec.WithCode(2004).size(), 1u);
    EXPECT_TRUE(Utils::FileExists(Utils::JoinPath(folder, L"Velqor.exe")));
    EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(folder)));
}
#endif

// Install folders whose names the ANSI code page cannot hold: every file of
// the pipeline (the partial and part files, the digest, the rename, the
// package run, its deletion) goes by its wide name.
TEST_F(Orchestrator, WideInstallFolders) {
    const struct {
        const char* name;
        std::wstring folder;
        int downloadType;
    } rows[] = {
        {"CyrillicSingleStream", L"Программы\\Велкор", 1},
        {"CyrillicMultiPart", L"Программы\\Велкор", 3},
        {"GreekAndJapaneseSingleStream", L"Ωμέγα 日本語\\Velqor", 1},
        {"GreekAndJapaneseMultiPart", L"Ωμέγα 日本語\\Velqor", 3},
    };
    for (const auto& r : rows) {
        Recorder rec;
        testing_support::TempDir dir;
        std::wstring folder = dir.File(r.folder);
#ifndef _WIN32
        Utils::ReplaceAll(folder, L"\\", L"/");
#endif
        DemoMode mode(L"", dir.File(L"cmdline.txt"));
        {
            CDownloadInstaller orchestrator(rec.Callback(), FastDownloader);
            InstallChoices choices = Choices(PackageUrl(), L"", folder, true, true, true, true, L"");
            choices.downloadType = r.downloadType;
            orchestrator.SetOptions(choices);
            orchestrator.Start();
            ASSERT_TRUE(rec.WaitForAny({2003, 2004, 1004})) << r.name;
        }
        EXPECT_EQ(rec.Codes().back(), 2003) << r.name;
        EXPECT_EQ(rec.WithCode(3000).at(0).text, folder) << r.name;
        EXPECT_TRUE(Utils::FileExists(Utils::JoinPath(folder, L"Velqor.exe"))) << r.name;
        EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(folder))) << r.name;
    }
}

#ifndef _WIN32
// A small tmpfs mounted on a folder for the life of the object (needs the
// right to mount; Skipped() says when it was refused).
class SmallDisk {
public:
    SmallDisk(const std::wstring& folder, const char* size) : m_path(Utils::NativePath(folder)) {
        Utils::MakeDirectory(folder);
        std::string options = std::string("size=") + size;
        m_mounted = ::mount("tmpfs", m_path.c_str(), "tmpfs", 0, options.c_str()) == 0;
        if (!m_mounted) m_error = std::strerror(errno);
    }
    ~SmallDisk() {
        if (m_mounted) ::umount2(m_path.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return m_mounted; }
    const std::string& Error() const { return m_error; }

private:
    std::string m_path;
    bool m_mounted = false;
    std::string m_error;
};

// The disk of the install folder fills up while the package is downloaded:
// each downloader fails the download (it never hangs) and leaves neither the
// package nor a partial file on the full disk.
TEST_F(Orchestrator, DiskFullWhileDownloading) {
    ASSERT_GT(Utils::GetFileSize(DemoPackagePath()), 256 * 1024) << "the package must not fit";
    for (int type : {1, 3}) {
        Recorder rec;
        const std::wstring disk = m_dir.File(L"small-disk-" + std::to_wstring(type));
        SmallDisk small(disk, "256k");
        if (!small.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (" << small.Error() << ")";
        const std::wstring folder = disk + L"/Velqor";
        DemoMode mode(L"", m_dir.File(L"cmdline.txt"));
        {
            CDownloadInstaller orchestrator(rec.Callback(), FastDownloader);
            InstallChoices choices = Choices(PackageUrl(), L"", folder, true, true, true, true, L"");
            choices.downloadType = type;
            orchestrator.SetOptions(choices);
            orchestrator.Start();
            ASSERT_TRUE(rec.WaitForAny({2003, 2004, 1004}, std::chrono::seconds(120))) << type;
        }
        EXPECT_EQ(rec.Codes().back(), 1004) << type;
        // The package and the single-stream partial file are gone; the
        // multi-part downloader may keep its part files for resuming (its next
        // start or construction removes them).
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(Utils::NativePath(disk), ec);
             it != std::filesystem::recursive_directory_iterator(); ++it) {
            if (!it->is_regular_file()) continue;
            const std::string name = it->path().filename().string();
            const bool part = type == 3 && name.rfind("__Package_velqordoc.exe_", 0) == 0 && name.size() == 25;
            if (!part) ADD_FAILURE() << type << ": left on the full disk: " << it->path();
        }
    }
}
#endif

TEST_F(Orchestrator, UninstallFailureStopsTheRun) {
    const std::wstring oldFolder = m_dir.File(L"old");
    const std::wstring uninstaller = InstallPrevious(oldFolder);
    const std::wstring folder = m_dir.File(L"new");
    for (const wchar_t* failure : {L"un-fail", L"un-error"}) {
        Recorder rec;
        DemoMode mode(failure, m_dir.File(L"cmdline.txt"));
        {
            CDownloadInstaller orchestrator(rec.Callback(), FastDownloader);
            orchestrator.SetOptions(Choices(PackageUrl(), uninstaller, folder, true, true, true, true, L""));
            orchestrator.Start();
            ASSERT_TRUE(rec.WaitForAny({5003, 5004, 5005}));
            // Destruction waits for every worker: anything started would have reported by then.
        }
        std::vector<int> codes = rec.Codes();
        EXPECT_EQ(codes.back(), 5005) << Utils::WideToUtf8(failure);
        for (int c : codes) EXPECT_TRUE(c == 5002 || c == 5005) << c;
        EXPECT_FALSE(Utils::DirectoryExists(folder));
        EXPECT_TRUE(Utils::FileExists(uninstaller));
    }
}

TEST_F(Orchestrator, FailedDownloadsAcrossTwoFoldersReuseTheFirstDownloader) {
    const std::wstring folderA = m_dir.File(L"A");
    const std::wstring folderB = m_dir.File(L"B");
    CDownloadInstaller orchestrator(m_rec.Callback(), FastDownloader);
    orchestrator.SetOptions(Choices(PackageUrl(L"404"), L"", folderA, true, true, true, true, L""));
    const size_t handled = Handled().WithCode(1004).size();
    orchestrator.Start();
    ASSERT_TRUE(Handled().WaitForCount(1004, handled + 1));
    EXPECT_EQ(m_rec.Codes().back(), 1004);
    const CDownloader* first = orchestrator.Downloader();
    ASSERT_NE(dynamic_cast<const CCurlDownloader*>(first), nullptr);
    EXPECT_EQ(orchestrator.FailedPackage(), CDownloadInstaller::PackagePathFor(folderA));
    EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(folderA)));

    // The retry goes to folder B with another DownloadType; leftovers in both folders.
    Utils::MakeDirectory(folderB);
    Utils::WriteFileBytes(CDownloadInstaller::PackagePathFor(folderA), "left over");
    Utils::WriteFileBytes(CDownloadInstaller::PackagePathFor(folderB), "left over");
    InstallChoices retry = Choices(PackageUrl(L"404"), L"", folderB, true, true, true, true, L"");
    retry.downloadType = 3;
    orchestrator.SetOptions(retry);
    orchestrator.Start();
    EXPECT_EQ(orchestrator.Downloader(), first);
    EXPECT_EQ(orchestrator.PackagePath(), CDownloadInstaller::PackagePathFor(folderB));
    ASSERT_TRUE(Handled().WaitForCount(1004, handled + 2));
    EXPECT_EQ(m_rec.WithCode(1004).size(), 2u);
    EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(folderA)));
    EXPECT_FALSE(Utils::FileExists(CDownloadInstaller::PackagePathFor(folderB)));
    EXPECT_EQ(orchestrator.FailedPackage(), CDownloadInstaller::PackagePathFor(folderB));
}

TEST_F(Orchestrator, EmptyInstallFolder) {
    EXPECT_EQ(CDownloadInstaller::PackagePathFor(L""), L"\\__Package_velqordoc.exe");
    // A failing previous-version uninstall keeps the download from starting.
    const std::wstring uninstaller = InstallPrevious(m_dir.File(L"old"));
    DemoMode mode(L"un-fail", m_dir.File(L"cmdline.txt"));
    CDownloadInstaller orchestrator(m_rec.Callback(), FastDownloader);
    orchestrator.SetOptions(Choices(PackageUrl(), uninstaller, L"", true, true, true, true, L""));
    orchestrator.Start();
    ASSERT_TRUE(m_rec.WaitForAny({5003, 5004, 5005}));
    ASSERT_NE(orchestrator.Installer(), nullptr);
    std::wstring cmd = orchestrator.Installer()->BuildCommandLine();
    EXPECT_EQ(cmd.find(L"-instdir"), std::wstring::npos);
    EXPECT_EQ(cmd.find(L"/D="), std::wstring::npos);
    EXPECT_EQ(cmd.substr(0, 27), L"\"\\__Package_velqordoc.exe\" ");
}

TEST(DownloaderChoice, ByDownloadType) {
    auto make = [](int type) {
        return CreateDownloader(type, nullptr, L"http://127.0.0.1:9/x", L"x");
    };
    for (int type : {0, 1, 7}) EXPECT_NE(dynamic_cast<CCurlDownloader*>(make(type).get()), nullptr) << type;
    EXPECT_NE(dynamic_cast<CMTCurlDownloader*>(make(3).get()), nullptr);
#ifdef _WIN32
    EXPECT_NE(dynamic_cast<CWinDownloader*>(make(2).get()), nullptr);
#endif
}

}  // namespace
