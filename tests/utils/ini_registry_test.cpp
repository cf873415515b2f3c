#include <gtest/gtest.h>

#include "tests/common/temp_dir.h"
#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/registry.h"
#include "utils/sysinfo.h"

namespace {

using testing_support::TempDir;

TEST(Ini, ReadsWithProfileRules) {
    TempDir dir;
    std::wstring ini = dir.File(L"a.ini");
    ASSERT_TRUE(Utils::WriteFileBytes(ini,
                                      "[Other]\r\nKey=wrong\r\n"
                                      "[Install]\r\n"
                                      "  DownloadUrl = http://h/x?a=1&b=2  \r\n"
                                      "Quoted=\"  spaced  \"\r\n"
                                      "Num=42abc\r\n"
                                      "Empty=\r\n"
                                      "key=first\r\n"
                                      "KEY=second\r\n"));
    EXPECT_EQ(Utils::IniReadString(ini, L"install", L"downloadurl", L"d"), L"http://h/x?a=1&b=2");
    EXPECT_EQ(Utils::IniReadString(ini, L"Install", L"Quoted", L"d"), L"  spaced  ");
    EXPECT_EQ(Utils::IniReadString(ini, L"Install", L"Empty", L"d"), L"");
    EXPECT_EQ(Utils::IniReadString(ini, L"Install", L"Missing", L"d"), L"d");
    EXPECT_EQ(Utils::IniReadString(ini, L"Install", L"Key", L"d"), L"first");
    EXPECT_EQ(Utils::IniReadString(dir.File(L"none.ini"), L"Install", L"Key", L"d"), L"d");
    EXPECT_EQ(Utils::IniReadInt(ini, L"Install", L"Num", 1), 42);
    EXPECT_EQ(Utils::IniReadInt(ini, L"Install", L"Missing", 7), 7);
}

TEST(Ini, LongValuesAreCutToTheBuffer) {
    TempDir dir;
    std::wstring ini = dir.File(L"long.ini");
    std::wstring value(300, L'v');
    ASSERT_TRUE(Utils::IniWriteString(ini, L"Install", L"InstCmd", value));
    EXPECT_EQ(Utils::IniReadString(ini, L"Install", L"InstCmd", L"", 260), std::wstring(259, L'v'));
}

TEST(Ini, WriteCreatesUpdatesAndKeepsOtherEntries) {
    TempDir dir;
    std::wstring ini = dir.File(L"set.ini");
    ASSERT_TRUE(Utils::IniWriteString(ini, L"Install", L"AppName", L"velqordoc"));
    ASSERT_TRUE(Utils::IniWriteString(ini, L"Install", L"DeviceID", L"ONE"));
    ASSERT_TRUE(Utils::IniWriteString(ini, L"Init", L"UpdateTime", L"2024-05-03 10:02:03"));
    ASSERT_TRUE(Utils::IniWriteString(ini, L"Install", L"DeviceID", L"TWO"));
    ASSERT_TRUE(Utils::IniWriteString(ini, L"Install", L"Path", L"C:\\Program Files (x86)\\velqordoc"));
    EXPECT_EQ(Utils::IniReadString(ini, L"Install", L"AppName", L""), L"velqordoc");
    EXPECT_EQ(Utils::IniReadString(ini, L"Install", L"DeviceID", L""), L"TWO");
    EXPECT_EQ(Utils::IniReadString(ini, L"Init", L"UpdateTime", L""), L"2024-05-03 10:02:03");
    EXPECT_EQ(Utils::IniReadString(ini, L"Install", L"Path", L""), L"C:\\Program Files (x86)\\velqordoc");
    EXPECT_EQ(Utils::IniReadStringA(Utils::NativePath(ini), "Install", "AppName", ""), "velqordoc");
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        m_key = L"Software\\ZelMoxSoft\\velqor-test-" + Utils::NewGuidString();
#if !defined(_WIN32)
        setenv("VELQOR_REGISTRY_FILE", Utils::NativePath(m_dir.File(L"registry.ini")).c_str(), 1);
#endif
    }
    void TearDown() override {
        Utils::RegRemoveValue(m_key, L"InstallPath");
        Utils::RegRemoveValue(m_key, L"UnInstallEp");
#if !defined(_WIN32)
        unsetenv("VELQOR_REGISTRY_FILE");
#endif
    }
    TempDir m_dir;
    std::wstring m_key;
};

TEST_F(Registry, RoundTripsValuesAndLeavesMissingOnesUntouched) {
    std::wstring v = L"unchanged";
    EXPECT_FALSE(Utils::RegReadString(m_key, L"InstallPath", v));
    EXPECT_EQ(v, L"unchanged");
    const std::wstring values[] = {L"C:\\Program Files\\velqordoc", L"", L"  blanks at both ends  ",
                                   L"a=b;c\"d'e", L"中文路径\\uninst.ep", L"line\r\nbreak"};
    for (const auto& value : values) {
        ASSERT_TRUE(Utils::RegWriteString(m_key, L"InstallPath", value));
        std::wstring got;
        ASSERT_TRUE(Utils::RegReadString(m_key, L"InstallPath", got));
        EXPECT_EQ(got, value);
    }
}

TEST_F(Registry, AValueStoredWithoutTerminatingZeroReadsBackIdentically) {
    ASSERT_TRUE(Utils::RegWriteString(m_key, L"UnInstallEp", L"D:\\velqordoc\\uninst.exe", false));
    std::wstring got;
    ASSERT_TRUE(Utils::RegReadString(m_key, L"UnInstallEp", got));
    EXPECT_EQ(got, L"D:\\velqordoc\\uninst.exe");
    ASSERT_TRUE(Utils::RegRemoveValue(m_key, L"UnInstallEp"));
    EXPECT_FALSE(Utils::RegReadString(m_key, L"UnInstallEp", got));
}

}  // namespace
