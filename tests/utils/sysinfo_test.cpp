#include <gtest/gtest.h>

#include <cwctype>
#include <set>

#include "utils/fs.h"
#include "utils/sysinfo.h"
#include "utils/text.h"

namespace {

TEST(OsVersionName, NamesEveryRowOfTheTable) {
    struct Case {
        uint32_t major, minor, build;
        bool r2;
        const wchar_t* name;
    } cases[] = {
        {0, 0, 0, false, L"XP-"},     {4, 9, 0, false, L"XP-"},          {5, 0, 0, false, L"2K"},
        {5, 1, 0, false, L"XP"},      {5, 2, 0, false, L"Server 2003"},  {5, 2, 0, true, L"Server 2003 R2"},
        {5, 3, 0, false, L"XP+"},     {6, 0, 0, false, L"Vista"},        {6, 1, 0, false, L"7"},
        {6, 2, 0, false, L"8"},       {6, 3, 0, false, L"8.1"},          {6, 4, 0, false, L"8.1+"},
        {10, 0, 19045, false, L"10"}, {10, 0, 22631, false, L"10"},      {10, 1, 0, false, L"10+"},
        {7, 0, 3, false, L"7.0.3"},   {12, 1, 0xF0000005u, false, L"12.1.5"},
        {6, 1, 0, true, L"7"},  // R2 only matters for 5.2
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utils::OsVersionNameFromNumbers(c.major, c.minor, c.build, c.r2), c.name)
            << c.major << "." << c.minor;
}

TEST(OsVersionName, PlatformIsWindowsAndVersionIsNamed) {
    std::wstring platform, version;
    Utils::GetOsVersionName(platform, version);
    EXPECT_EQ(platform, L"Windows");
    EXPECT_FALSE(version.empty());
}

TEST(Guid, FormatCasesByGroup) {
    const uint8_t d4[8] = {0xab, 0xcd, 0xef, 0x01, 0x23, 0x45, 0x67, 0x89};
    EXPECT_EQ(Utils::FormatGuid(0xdeadbeef, 0xabcd, 0xabcd, d4), L"DEADBEEFABCDabcdABCDEF0123456789");
}

TEST(Guid, NewGuidsAre32HexDigitsWithLowerCaseThirdGroupAndDiffer) {
    std::set<std::wstring> seen;
    for (int i = 0; i < 50; ++i) {
        std::wstring g = Utils::NewGuidString();
        ASSERT_EQ(g.size(), 32u);
        for (size_t k = 0; k < g.size(); ++k) {
            ASSERT_TRUE(std::iswxdigit(g[k])) << g;
            if (std::iswalpha(g[k])) {
                bool third = k >= 12 && k < 16;
                EXPECT_EQ(third, std::iswlower(g[k]) != 0) << g << " at " << k;
            }
        }
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 50u);
}

TEST(SystemInfo, AnEmptyUserNameIsNoAdministrator) { EXPECT_FALSE(Utils::IsUserAdmin(L"")); }

TEST(SystemInfo, Is64BitOnA64BitBuild) {
    if (sizeof(void*) == 8) {
        EXPECT_TRUE(Utils::IsOs64Bit());
    }
}

#ifdef _WIN32
// The shipped installer is a 32-bit program: on 64-bit Windows it runs under
// WOW64, where the system tells it so through PROCESSOR_ARCHITEW6432 (set only
// for WOW64 processes) and gives it the 32-bit Program Files folder.
TEST(SystemInfo, A32BitBuildOn64BitWindowsSeesThe64BitSystem) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "a 64-bit build";
    std::wstring native;
    if (!Utils::GetEnv(L"PROCESSOR_ARCHITEW6432", native) || native.empty()) GTEST_SKIP() << "32-bit Windows";
    EXPECT_TRUE(Utils::IsOs64Bit());
    std::wstring x86;
    ASSERT_TRUE(Utils::GetEnv(L"ProgramFiles(x86)", x86));
    const std::wstring folder = Utils::GetSpecialFolder(Utils::SpecialFolder::ProgramFiles);
    EXPECT_EQ(Utils::ToLower(folder), Utils::ToLower(x86));
    EXPECT_NE(Utils::ToLower(folder).find(L"(x86)"), std::wstring::npos) << Utils::WideToUtf8(folder);
}
#endif

}  // namespace
