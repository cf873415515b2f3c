// Records of an installed product and the folder rules built on them.
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "install/install_records.h"
#include "utils/child_process.h"
#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/registry.h"

using namespace install_records;

namespace {

// A private registry for the test: the POSIX stand-in file, or the real
// values (removed before and after) on Windows.
class RecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Utils::SetEnv(L"VELQOR_REGISTRY_FILE", m_dir.File(L"registry.ini"));
        Clear();
    }
    void TearDown() override {
        Clear();
        Utils::SetEnv(L"VELQOR_REGISTRY_FILE", L"");
    }
    static void Clear() {
        Utils::RegRemoveValue(kRegistryKey, kInstallPathValue);
        Utils::RegRemoveValue(kRegistryKey, kUninstallValue);
    }
    std::wstring Touch(const std::wstring& folder, const std::wstring& name) {
        Utils::MakeDirectory(folder);
        std::wstring p = Utils::JoinPath(folder, name);
        Utils::WriteFileBytes(p, "x");
        return p;
    }
    testing_support::TempDir m_dir;
};

TEST_F(RecordsTest, NothingRegistered) {
    InstallRecords r = LoadInstallRecords();
    EXPECT_EQ(r.installedPath, L"");
    EXPECT_EQ(r.previousUninstaller, L"");
}

TEST_F(RecordsTest, UninstEpFallbackWhenUninstallerValueMissing) {
    WriteRegistryValue(kInstallPathValue, L"C:\\Soft\\velqordoc");
    InstallRecords r = LoadInstallRecords();
    EXPECT_EQ(r.installedPath, L"C:\\Soft\\velqordoc");
    EXPECT_EQ(r.previousUninstaller, Utils::JoinPath(L"C:\\Soft\\velqordoc", L"uninst.ep"));
    WriteRegistryValue(kUninstallValue, L"C:\\Soft\\velqordoc\\Uninstall.exe");
    EXPECT_EQ(LoadInstallRecords().previousUninstaller, L"C:\\Soft\\velqordoc\\Uninstall.exe");
}

TEST_F(RecordsTest, ValueWithoutTerminatorReadsBackTheSame) {
    Utils::RegWriteString(kRegistryKey, kInstallPathValue, L"D:\\velqordoc", false);
    std::wstring text = L"unchanged";
    ASSERT_TRUE(ReadRegistryValue(kInstallPathValue, text));
    EXPECT_EQ(text, L"D:\\velqordoc");
    std::wstring missing = L"unchanged";
    EXPECT_FALSE(ReadRegistryValue(L"NoSuchValue", missing));
    EXPECT_EQ(missing, L"unchanged");
}

TEST_F(RecordsTest, SaveWritesUninstallerOnlyWhenItExists) {
    const std::wstring folder = m_dir.File(L"installed");
    Utils::MakeDirectory(folder);
    // No uninstaller reported and none in the folder: InstallPath only.
    SaveInstallRecords(folder, L"");
    InstallRecords r = LoadInstallRecords();
    EXPECT_EQ(r.installedPath, folder);
    std::wstring un;
    EXPECT_FALSE(ReadRegistryValue(kUninstallValue, un));
    // uninst.ep in the folder is recorded when the package named no uninstaller.
    std::wstring ep = Touch(folder, L"uninst.ep");
    SaveInstallRecords(folder, L"");
    ASSERT_TRUE(ReadRegistryValue(kUninstallValue, un));
    EXPECT_EQ(un, ep);
    // A reported uninstaller that exists wins; one that does not is not written.
    std::wstring reported = Touch(folder, L"Uninstall.exe");
    SaveInstallRecords(folder, reported);
    ASSERT_TRUE(ReadRegistryValue(kUninstallValue, un));
    EXPECT_EQ(un, reported);
    SaveInstallRecords(folder, Utils::JoinPath(folder, L"missing.exe"));
    ASSERT_TRUE(ReadRegistryValue(kUninstallValue, un));
    EXPECT_EQ(un, reported);
}

AccountEnvironment FakeAccounts(bool consoleAdmin, bool processAdmin, const wchar_t* appData) {
    AccountEnvironment env;
    env.consoleUserIsAdmin = [=] { return consoleAdmin; };
    env.processIsAdmin = [=] { return processAdmin; };
    env.appData = [=](std::wstring& v) {
        if (!appData) return false;
        v = appData;
        return true;
    };
    env.programFiles = [] { return std::wstring(L"C:\\Program Files (x86)"); };
    return env;
}

TEST_F(RecordsTest, DefaultFolderChoices) {
    const std::wstring zelmox = Utils::JoinPath(Utils::JoinPath(L"C:\\Users\\a\\AppData\\Roaming", L"zelmox"), L"velqordoc");
    const std::wstring programFiles = Utils::JoinPath(L"C:\\Program Files (x86)", L"velqordoc");
    const wchar_t* appData = L"C:\\Users\\a\\AppData\\Roaming";
    const struct {
        const char* name;
        bool consoleAdmin, processAdmin;
        const wchar_t* appData;
        std::wstring expected;
    } rows[] = {
        {"AdminAtConsoleElevated", true, true, appData, zelmox},
        {"StandardUserElevatedByAnother", false, true, appData, programFiles},
        {"AdminNotElevated", true, false, appData, programFiles},
        {"AppDataMissing", true, true, nullptr, programFiles},
    };
    for (const auto& r : rows) {
        DefaultDirResult d = DefaultInstallDir(InstallRecords{}, FakeAccounts(r.consoleAdmin, r.processAdmin, r.appData));
        EXPECT_EQ(d.folder, r.expected) << r.name;
        EXPECT_EQ(d.adminAct, r.consoleAdmin) << r.name;
        EXPECT_EQ(d.authorizationAct, r.processAdmin) << r.name;
    }
}

TEST_F(RecordsTest, RegisteredFolderIsDefaultOnlyWhileItsUninstallerExists) {
    const std::wstring folder = m_dir.File(L"old");
    InstallRecords records{folder, Utils::JoinPath(folder, L"uninst.ep")};
    auto env = FakeAccounts(true, true, L"C:\\AppData");
    EXPECT_NE(DefaultInstallDir(records, env).folder, folder);
    Touch(folder, L"uninst.ep");
    EXPECT_EQ(DefaultInstallDir(records, env).folder, folder);
}

TEST(CustomFolder, RelativePathRule) {
    const std::wstring def = L"C:\\Program Files (x86)\\velqordoc";
    EXPECT_EQ(CustomInstallDir(L"C:\\Program Files (x86)\\velqordoc", def), def);
    EXPECT_EQ(CustomInstallDir(L"C:/Program Files (x86)/velqordoc/", def), def);
    EXPECT_EQ(CustomInstallDir(L"c:\\program files (x86)\\VELQORDOC", def), def);
    EXPECT_EQ(CustomInstallDir(L"D:/Tools", def), Utils::JoinPath(L"D:\\Tools", L"velqordoc"));
    EXPECT_EQ(CustomInstallDir(L"C:\\Program Files (x86)", def), Utils::JoinPath(L"C:\\Program Files (x86)", L"velqordoc"));
}

TEST(KeepPrevious, OnlyExactFalseInTheRegisteredFolder) {
    testing_support::TempDir dir;
    const std::wstring folder = dir.Path();
    const std::wstring ini = dir.File(L"set.ini");
    const struct {
        const wchar_t* value;  // nullptr: no set.ini
        bool keep;
    } rows[] = {{nullptr, false}, {L"false", true}, {L"FALSE", false}, {L"true", false}, {L"no", false}};
    for (const auto& r : rows) {
        Utils::RemoveFile(ini);
        if (r.value) Utils::IniWriteString(ini, L"Uninstall", L"IsOverride", r.value);
        EXPECT_EQ(KeepPreviousVersion(folder, folder), r.keep) << (r.value ? Utils::WideToUtf8(r.value) : "none");
    }
    // Another folder than the registered one never keeps the old version.
    Utils::IniWriteString(ini, L"Uninstall", L"IsOverride", L"false");
    EXPECT_FALSE(KeepPreviousVersion(folder, dir.File(L"elsewhere")));
    EXPECT_FALSE(KeepPreviousVersion(folder, L""));
}

}  // namespace
