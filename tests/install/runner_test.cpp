// The package and uninstaller runners against real child processes: the demo
// package steered into each behaviour.
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "demo.h"
#include <atomic>

#include "install/installer.h"
#include "install/output_reader.h"
#include "install/uninstaller.h"
#include "recorder.h"
#include "utils/child_process.h"
#include "utils/fs.h"
#include "utils/time.h"

using install_test::DemoMode;
using install_test::DemoPackagePath;
using install_test::Note;
using install_test::ReadLines;
using install_test::Recorder;

namespace {

TEST(ChildProcess, LaunchFailuresThrow) {
    testing_support::TempDir dir;
    Utils::ChildProcess missing;
    EXPECT_THROW(missing.Launch(L"\"" + dir.File(L"no-such-program.exe") + L"\" /S"), Utils::Exception);
    Utils::ChildProcess tooLong;
    std::wstring line = L"\"" + DemoPackagePath() + L"\" ";
    line += std::wstring(Utils::ChildProcess::kMaxCommandLine + 1 - line.size(), L'a');
    EXPECT_THROW(tooLong.Launch(line), Utils::Exception);
}

TEST(ChildProcess, ReadsUntilTheOutputEndsAndEndsAHangingChild) {
    DemoMode mode(L"hang");
    Utils::ChildProcess child;
    child.Launch(L"\"" + DemoPackagePath() + L"\" /S -console=show -version=1.0.0 -adminact=true "
                 L"-authorizationact=true -dsc=true -ssc=true");
    std::string all, bytes;
    while (all.find("Progress=0.1\n") == std::string::npos && child.ReadChunk(bytes)) all += bytes;
    EXPECT_NE(all.find("Encode=UTF8\n"), std::string::npos);
    EXPECT_TRUE(child.IsRunning());
    child.Terminate();
    child.WaitForExit();
    EXPECT_FALSE(child.IsRunning());
    while (child.ReadChunk(bytes)) {
    }
    EXPECT_FALSE(child.ReadChunk(bytes));
    EXPECT_TRUE(bytes.empty());
    child.Close();
}

// One package run in a fresh folder: the package file is a copy of the demo.
struct PackageRun {
    testing_support::TempDir dir;
    std::wstring folder;
    std::wstring record;
    std::vector<Note> notes;
    std::wstring commandLine;
    CInstaller::Version version;
    uint32_t exitWaitMs = install_detail::kDefaultExitWaitMs;

    void Run(const std::wstring& mode, std::wstring installDir = L"-", std::wstring package = L"") {
        folder = installDir == L"-" ? dir.File(L"Velqor Doc") : installDir;
        record = dir.File(L"cmdline.txt");
        if (package.empty()) {
            package = dir.File(L"__Package_velqordoc.exe");
            ASSERT_TRUE(Utils::CopyFileTo(DemoPackagePath(), package, true));
        }
        DemoMode steer(mode, record);
        Recorder rec;
        {
            InstallChoices choices;
            choices.installDir = folder;
            choices.installLanguage = L"zh-CN";
            choices.exitWaitMs = exitWaitMs;
            CInstaller installer(rec.Callback(), L"\"" + package + L"\"", choices);
            installer.Run();
            ASSERT_TRUE(rec.WaitForAny({IST_CODE_SUCCESS, IST_CODE_FAIL}));
            commandLine = installer.CommandLine();
            // Destruction waits for the worker, so every notification is in.
        }
        notes = rec.Notes();
    }
    const Note* Find(int code) const {
        for (const Note& n : notes)
            if (n.code == code) return &n;
        return nullptr;
    }
    const Note& Last() const { return notes.back(); }
};

TEST(PackageRun, SuccessfulInstallReportsTheRecordAndInstalls) {
    PackageRun run;
    run.Run(L"");
    const std::wstring f = run.folder;
    const std::vector<Note> expected = {
        {2001, 0, L""},
        {2002, 0, L""},
        {2002, 0.1, L""},
        {2002, 0.6, L""},
        {3000, 0, f},
        {3001, 0, Utils::JoinPath(f, L"Velqor.exe")},
        {3003, 0, Utils::JoinPath(f, L"uninst.ep")},
        {3004, 0, L""},
        {3005, 2, L""},
        {3007, 500, L""},
        {2002, 1, L""},
        {2003, 0, L""},
    };
    EXPECT_EQ(run.notes, expected);
    EXPECT_TRUE(Utils::FileExists(Utils::JoinPath(f, L"Velqor.exe")));
    EXPECT_TRUE(Utils::FileExists(Utils::JoinPath(f, L"uninst.ep")));
    // The package received exactly the command line that was built.
    auto lines = ReadLines(run.record);
    ASSERT_FALSE(lines.empty());
    std::vector<std::wstring> args(lines.begin() + 1, lines.end());
    EXPECT_EQ(args, Utils::SplitCommandLine(run.commandLine));
#ifdef _WIN32
    EXPECT_EQ(lines[0], run.commandLine);
#endif
    EXPECT_NE(run.commandLine.find(L" -inslang=\"zh-CN\" -instdir=\"" + f + L"\" /D=" + f), std::wstring::npos);
}

struct OutcomeCase {
    const char* name;
    const wchar_t* mode;
    Note last;
};

class PackageOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(PackageOutcome, EndsWithOneVerdict) {
    PackageRun run;
    run.Run(GetParam().mode);
    ASSERT_FALSE(run.notes.empty());
    EXPECT_EQ(run.Last(), GetParam().last);
    int verdicts = 0;
    for (const Note& n : run.notes) verdicts += n.code == 2003 || n.code == 2004;
    EXPECT_EQ(verdicts, 1);
}

const OutcomeCase kOutcomes[] = {
    {"Fail", L"fail", {2004, 0, L"安装包安装失败"}},
    {"ErrorLine", L"error", {2004, 1000, L"磁盘空间不足，无法安装"}},
    {"NoVerdictIsSuccess", L"noverdict", {2003, 1, L""}},
    {"CrashWithoutVerdict", L"crash", {2003, 1, L""}},
    {"FinalStateWithoutLineFeed", L"nolf", {2003, 0, L""}},
    {"FloodBeforeFail", L"flood,fail", {2004, 0, L"安装包安装失败"}},
    {"FailInOneWriteWithRecord", L"oneshot,fail", {2004, 0, L"安装包安装失败"}},
    // A child can never block on a stream: 1 MiB on standard error before the
    // verdict, 1 MiB on standard output after it, a read of standard input.
    {"ErrorFloodBeforeSuccess", L"errflood", {2003, 0, L""}},
    {"FloodAfterSuccess", L"afterflood", {2003, 0, L""}},
    {"ErrorFloodAndFloodAfterFail", L"errflood,fail,afterflood", {2004, 0, L"安装包安装失败"}},
    {"ReadsStandardInput", L"stdin", {2003, 0, L""}},
};

INSTANTIATE_TEST_SUITE_P(Modes, PackageOutcome, ::testing::ValuesIn(kOutcomes),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(PackageRun, StandardInputIsEmpty) {
    PackageRun run;
    run.Run(L"stdin");
    EXPECT_EQ(ReadLines(run.record + L".stdin"), (std::vector<std::wstring>{L"0"}));
}

// Waits (generously) for a file that a child writes.
bool WaitForFile(const std::wstring& path) {
    for (int i = 0; i < 6000; ++i) {
        if (Utils::FileExists(path)) return true;
        Utils::SleepMs(10);
    }
    return false;
}

// A package that prints its verdict and keeps running: the run ends after the
// bounded wait while the package still runs, and the package is left alone.
TEST(PackageRun, LingeringPackageIsWaitedForBoundedly) {
    testing_support::TempDir dir;
    const std::wstring package = dir.File(L"__Package_velqordoc.exe");
    ASSERT_TRUE(Utils::CopyFileTo(DemoPackagePath(), package, true));
    const std::wstring record = dir.File(L"cmdline.txt");
    DemoMode steer(L"linger,afterflood", record);
    Recorder rec;
    std::atomic<int> lingeredAtEnd{-1};
    {
        InstallChoices choices;
        choices.installDir = dir.File(L"folder");
        choices.exitWaitMs = 200;
        CInstaller installer(rec.Callback(), L"\"" + package + L"\"", choices);
        installer.SetRunEndedHandler([&] { lingeredAtEnd = Utils::FileExists(record + L".lingered") ? 1 : 0; });
        installer.Run();
        ASSERT_TRUE(rec.WaitForAny({IST_CODE_SUCCESS, IST_CODE_FAIL}));
    }  // the worker has ended here
    EXPECT_EQ(lingeredAtEnd.load(), 0);
    EXPECT_EQ(rec.Notes().back(), (Note{2003, 0, L""}));
    Utils::WriteFileBytes(record + L".release", "go\n");
    EXPECT_TRUE(WaitForFile(record + L".lingered"));
}

TEST(ChildProcess, StandardErrorIsDrainedAndInputIsEmpty) {
    testing_support::TempDir dir;
    DemoMode mode(L"errflood,stdin", dir.File(L"cmdline.txt"));
    Utils::ChildProcess child;
    child.Launch(L"\"" + DemoPackagePath() + L"\" /S -console=show -version=1.0.0 -adminact=true "
                 L"-authorizationact=true -dsc=true -ssc=true -instdir=\"" + dir.File(L"f") + L"\" /D=" +
                 dir.File(L"f"));
    std::string all, bytes;
    while (child.ReadChunk(bytes)) all += bytes;
    child.WaitForExit();
    EXPECT_NE(all.find("State=Success\n"), std::string::npos);
    // The child could end with the last pipe-full of its error output still
    // unread: the drain gets (generously) the time to take it.
    for (int i = 0; i < 6000 && child.ErrorBytesDrained() < 1024u * 1024u; ++i) Utils::SleepMs(10);
    EXPECT_GE(child.ErrorBytesDrained(), 1024u * 1024u);
    child.Close();
    EXPECT_EQ(ReadLines(dir.File(L"cmdline.txt.stdin")), (std::vector<std::wstring>{L"0"}));
}

TEST(ChildProcess, ReadWithATimeLimit) {
    DemoMode mode(L"hang");
    Utils::ChildProcess child;
    child.Launch(L"\"" + DemoPackagePath() + L"\" /S -console=show -version=1.0.0 -adminact=true "
                 L"-authorizationact=true -dsc=true -ssc=true");
    std::string all, bytes;
    while (all.find("Progress=0.1\n") == std::string::npos) {
        auto r = child.ReadChunkFor(bytes, 60000);
        ASSERT_EQ(r, Utils::ChildProcess::Read::Data);
        all += bytes;
    }
    // The hanging child writes nothing more: a short read ends empty-handed.
    EXPECT_EQ(child.ReadChunkFor(bytes, 50), Utils::ChildProcess::Read::TimedOut);
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(child.WaitForExitFor(0));
    child.Terminate();
    EXPECT_TRUE(child.WaitForExitFor(60000));
    Utils::ChildProcess::Read r;
    while ((r = child.ReadChunkFor(bytes, 60000)) == Utils::ChildProcess::Read::Data) {
    }
    EXPECT_EQ(r, Utils::ChildProcess::Read::Ended);
    child.Close();
}

TEST(PackageRun, SilentPackage) {
    PackageRun run;
    run.Run(L"silent");
    EXPECT_EQ(run.notes, (std::vector<Note>{{2001, 0, L""}, {2002, 0, L""}, {2003, 1, L""}}));
}

TEST(PackageRun, LaunchFailureAndOverlongCommandLine) {
    PackageRun missing;
    missing.Run(L"", L"-", missing.dir.File(L"absent.exe"));
    EXPECT_EQ(missing.notes, (std::vector<Note>{{2001, 0, L""}, {2002, 0, L""}, {2004, 2, L""}}));

    PackageRun overlong;
    overlong.Run(L"", overlong.dir.File(std::wstring(600, L'd')));
    EXPECT_EQ(overlong.notes, (std::vector<Note>{{2001, 0, L""}, {2002, 0, L""}, {2004, 2, L""}}));
    EXPECT_FALSE(Utils::FileExists(overlong.record));  // never run with a cut line
}

TEST(PackageRun, TextAcrossReadsAndCodePages) {
    const struct {
        const char* name;
        const wchar_t* mode;
        std::wstring message;
    } rows[] = {
        {"Straddle", L"straddle", L"欢迎使用安装完成的产品"},
        {"Gbk", L"gbk", L"安装完成，欢迎使用Velqor"},
        {"Utf8", L"utf8", L"安装完成，欢迎使用Velqor"},
        {"FloodThenUtf8", L"flood,utf8", L"安装完成，欢迎使用Velqor"},
        {"OneWrite", L"oneshot,utf8", L"安装完成，欢迎使用Velqor"},
    };
    for (const auto& r : rows) {
        PackageRun run;
        run.Run(r.mode);
        const Note* message = run.Find(3009);
        ASSERT_NE(message, nullptr) << r.name;
        EXPECT_EQ(message->text, r.message) << r.name;
        const Note* path = run.Find(3000);
        ASSERT_NE(path, nullptr) << r.name;
        EXPECT_EQ(path->text, run.folder) << r.name;
        EXPECT_EQ(run.Last(), (Note{2003, 0, L""})) << r.name;
    }
}

// One uninstaller run on a folder where the demo product was installed.
struct UninstallRun {
    testing_support::TempDir dir;
    std::wstring oldFolder;
    std::wstring exe;
    std::vector<Note> notes;
    std::wstring commandLine;

    void Prepare() {
        oldFolder = dir.File(L"old version");
        Utils::MakeDirectory(oldFolder);
        Utils::WriteFileBytes(Utils::JoinPath(oldFolder, L"Velqor.exe"), "old");
        exe = dir.File(L"velqordoc_un_asa.exe");
        ASSERT_TRUE(Utils::CopyFileTo(DemoPackagePath(), exe, true));
    }
    void Run(const std::wstring& mode, uint32_t exitWaitMs = install_detail::kDefaultExitWaitMs) {
        DemoMode steer(mode, dir.File(L"cmdline.txt"));
        Recorder rec;
        {
            CUnInstaller un(rec.Callback(), exe, oldFolder);
            un.SetExitWaitMs(exitWaitMs);
            un.SetRunEndedHandler([this] { lingeredAtEnd = Utils::FileExists(Record() + L".lingered") ? 1 : 0; });
            un.Run();
            ASSERT_TRUE(rec.WaitForAny({UNIST_CODE_SUCCESS, UNIST_CODE_FAIL, UNIST_CODE_ERROR}));
            commandLine = un.CommandLine();
        }
        notes = rec.Notes();
    }
    std::wstring Record() const { return dir.File(L"cmdline.txt.uninstall"); }
    std::atomic<int> lingeredAtEnd{-1};
    int Count(int code) const {
        int n = 0;
        for (const Note& x : notes) n += x.code == code;
        return n;
    }
};

TEST(UninstallRun, SuccessRemovesTheOldVersionOnce) {
    UninstallRun run;
    run.Prepare();
    run.Run(L"");
    EXPECT_EQ(run.notes, (std::vector<Note>{{5002, 0, L""}, {5002, 0.2, L""}, {5002, 1, L""}, {5003, 0, L""}}));
    EXPECT_FALSE(Utils::DirectoryExists(run.oldFolder));
    // The folder with its blank arrives unquoted and last.
    auto lines = ReadLines(run.dir.File(L"cmdline.txt.uninstall"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].substr(lines[0].size() - run.oldFolder.size() - 3), L"_?=" + run.oldFolder);
}

TEST(UninstallRun, Verdicts) {
    const struct {
        const char* name;
        const wchar_t* mode;
        std::vector<Note> tail;  // the notifications after the first (5002, 0)
    } rows[] = {
        {"SilentFastExitIsSuccess", L"silent", {{5003, 1, L""}}},
        {"NoVerdict", L"noverdict", {{5002, 0.2, L""}, {5002, 1, L""}, {5003, 1, L""}}},
        {"ErrorLineThenExitAtOnce", L"error", {{5002, 0.2, L""}, {5005, 0, L"卸载失败：文件被占用"}}},
        {"FailThenMoreOutput", L"fail,more", {{5002, 0.2, L""}, {5005, 0, L"安装包卸载失败"}, {5002, 0.9, L""}}},
        {"ErrorFlood", L"errflood", {{5002, 0.2, L""}, {5002, 1, L""}, {5003, 0, L""}}},
        {"ReadsStandardInput", L"stdin", {{5002, 0.2, L""}, {5002, 1, L""}, {5003, 0, L""}}},
    };
    for (const auto& r : rows) {
        UninstallRun run;
        run.Prepare();
        run.Run(r.mode);
        std::vector<Note> expected = {{5002, 0, L""}};
        expected.insert(expected.end(), r.tail.begin(), r.tail.end());
        EXPECT_EQ(run.notes, expected) << r.name;
    }
}

// An old uninstaller that reports success and lingers (writing on after its
// verdict) holds its run only for the bounded wait.
TEST(UninstallRun, LingeringUninstallerIsWaitedForBoundedly) {
    UninstallRun run;
    run.Prepare();
    run.Run(L"linger,afterflood", 200);
    EXPECT_EQ(run.lingeredAtEnd.load(), 0);
    EXPECT_EQ(run.notes, (std::vector<Note>{{5002, 0, L""}, {5002, 0.2, L""}, {5003, 0, L""}}));
    Utils::WriteFileBytes(run.Record() + L".release", "go\n");
    EXPECT_TRUE(WaitForFile(run.Record() + L".lingered"));
}

// An uninstaller that ends without a verdict while a program it started
// still holds its output: the run ends with the uninstaller, not with the
// output.
TEST(UninstallRun, EndsWithTheUninstallerWhileItsOrphanHoldsTheOutput) {
    UninstallRun run;
    run.Prepare();
    run.Run(L"orphan,noverdict");
    EXPECT_EQ(run.notes, (std::vector<Note>{{5002, 0, L""}, {5002, 0.2, L""}, {5002, 1, L""}, {5003, 1, L""}}));
    EXPECT_FALSE(Utils::FileExists(run.Record() + L".orphan.lingered"));
    Utils::WriteFileBytes(run.Record() + L".orphan.release", "go\n");
    EXPECT_TRUE(WaitForFile(run.Record() + L".orphan.lingered"));
}

TEST(UninstallRun, MissingOrUnstartableCopy) {
    UninstallRun missing;
    missing.Prepare();
    Utils::RemoveFile(missing.exe);
    missing.Run(L"");
    EXPECT_EQ(missing.notes, (std::vector<Note>{{5004, 1, L"可执行卸载文件不存在"}}));

    UninstallRun broken;
    broken.Prepare();
    Utils::WriteFileBytes(broken.exe, "this is not a program\n");
    broken.Run(L"");
    EXPECT_EQ(broken.notes, (std::vector<Note>{{5002, 0, L""}, {5004, 2, L""}}));
}

}  // namespace

namespace {

TEST(PackageRun, EachRunStartsInTheAnsiCodePage) {
    testing_support::TempDir dir;
    const std::wstring package = dir.File(L"__Package_velqordoc.exe");
    ASSERT_TRUE(Utils::CopyFileTo(DemoPackagePath(), package, true));
    DemoMode steer(L"silent", dir.File(L"cmdline.txt"));
    Recorder rec;
    InstallChoices choices;
    choices.installDir = dir.Path();
    CInstaller installer(rec.Callback(), L"\"" + package + L"\"", choices);
    installer.Parse(L"Encode=UTF8");  // what an earlier run's package said
    ASSERT_EQ(installer.CodePage(), 65001u);
    installer.Run();
    ASSERT_TRUE(rec.WaitForAny({IST_CODE_SUCCESS, IST_CODE_FAIL}));
    installer.Run();  // waits for the first run's worker, then runs again
    ASSERT_TRUE(rec.WaitForCount(IST_CODE_SUCCESS, 2));
    EXPECT_EQ(installer.CodePage(), 0u);
}

}  // namespace
