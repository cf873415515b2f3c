// The package and uninstaller output parsers and the command lines given to them.
#include <gtest/gtest.h>

#include "install/installer.h"
#include "install/uninstaller.h"
#include "recorder.h"
#include "utils/text.h"

using install_test::Note;
using install_test::Recorder;

namespace {

struct ParseCase {
    const char* name;
    std::wstring chunk;
    std::vector<Note> notes;
    int verdict;
};

class InstallerParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(InstallerParse, NotifiesAndJudges) {
    const ParseCase& c = GetParam();
    Recorder rec;
    CInstaller installer(rec.Callback(), L"\"pkg.exe\"");
    EXPECT_EQ(installer.Parse(c.chunk), c.verdict);
    EXPECT_EQ(rec.Notes(), c.notes);
}

const ParseCase kInstallerCases[] = {
    {"Progress", L"Progress=0.35", {{2002, 0.35, L""}}, 0},
    {"ProgressBlankBeforeNumber", L"Progress= 0.5\r", {{2002, 0.5, L""}}, 0},
    {"ProgressNotANumber", L"Progress=abc", {{2002, 0.0, L""}}, 0},
    {"ProgressEmpty", L"Progress=", {{2002, 0.0, L""}}, 0},
    {"InstPathKeepsCarriageReturn", L"InstPath=C:\\Soft\\velqordoc\r\n", {{3000, 0, L"C:\\Soft\\velqordoc\r"}}, 0},
    {"InstPathEmpty", L"InstPath=\n", {{3000, 0, L""}}, 0},
    {"InstPathKeepsBlanks", L"InstPath= C:\\a b ", {{3000, 0, L" C:\\a b "}}, 0},
    {"StateSuccess", L"State=Success", {{2003, 0, L""}}, 1},
    {"StateSuccessTrimmed", L"State=  Success \r\n", {{2003, 0, L""}}, 1},
    {"StateFail", L"State=Fail\r\n", {{2004, 0, L"安装包安装失败"}}, 1000},
    {"StateOtherIgnored", L"State=Done\nState=success", {}, 0},
    {"BlankBeforeKeyIgnored", L" State=Success\n", {}, 0},
    {"KeyCaseMatters", L"state=Success\nPROGRESS=1\n", {}, 0},
    {"InstallVersionSilent", L"InstallVersion=2.3.4\n", {}, 0},
    {"ExePath", L"ExePath=C:\\v\\Velqor.exe\n", {{3001, 0, L"C:\\v\\Velqor.exe"}}, 0},
    {"StartExeSameCode", L"StartExe=C:\\v\\Start.exe", {{3001, 0, L"C:\\v\\Start.exe"}}, 0},
    {"UninstExePathAndUninstExe", L"UninstExePath=a\nUninstExe=b\n", {{3002, 0, L"a"}, {3002, 0, L"b"}}, 0},
    {"UninstEp", L"UninstEp=C:\\v\\uninst.ep\n", {{3003, 0, L"C:\\v\\uninst.ep"}}, 0},
    {"Error", L"Error=磁盘已满\n", {{2004, 1000, L"磁盘已满"}}, 1000},
    {"ErrorEmpty", L"Error=", {{2004, 1000, L""}}, 1000},
    {"TopShowDetention", L"TopShowDetention=500\n", {{3007, 500, L""}}, 0},
    {"TopShowDetentionNegativeWraps", L"TopShowDetention=-1", {{3007, 4294967295.0, L""}}, 0},
    {"FinsihCloseDetention", L"FinsihCloseDetention=3000", {{3008, 3000, L""}}, 0},
    {"FinishSpelledRightIsNotAKey", L"FinishCloseDetention=3000", {}, 0},
    {"StartUrl", L"StartUrl=https://example.invalid/a?b=c", {{3004, 0, L"https://example.invalid/a?b=c"}}, 0},
    {"StartupStyleAuto", L"StartupStyle=AutoStartup\r\n", {{3005, 1, L""}}, 0},
    {"StartupStyleUser", L"StartupStyle= UserStartup", {{3005, 2, L""}}, 0},
    {"StartupStyleNon", L"StartupStyle=NonStartup", {{3005, 0, L""}}, 0},
    {"StartupStyleUnknown", L"StartupStyle=Auto", {{3005, 0, L""}}, 0},
    {"Message", L"Message=请重启电脑", {{3009, 0, L"请重启电脑"}}, 0},
    {"UnknownLinesIgnored", L"Hello\n\n=x\nFoo=bar\n", {}, 0},
    {"SuccessAndRecordInOneChunk",
     L"InstPath=C:\\x\nState=Success\nExePath=C:\\x\\V.exe\n",
     {{3000, 0, L"C:\\x"}, {2003, 0, L""}, {3001, 0, L"C:\\x\\V.exe"}},
     1},
    {"SeveralVerdictsLastWins",
     L"State=Success\nError=late\n",
     {{2003, 0, L""}, {2004, 1000, L"late"}},
     1000},
    {"FailThenSuccess", L"State=Fail\nState=Success", {{2004, 0, L"安装包安装失败"}, {2003, 0, L""}}, 1},
};

INSTANTIATE_TEST_SUITE_P(Rows, InstallerParse, ::testing::ValuesIn(kInstallerCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(InstallerParseValues, LongTextValueIsCutAt771) {
    Recorder rec;
    CInstaller installer(rec.Callback(), L"\"p\"");
    installer.Parse(L"Message=" + std::wstring(900, L'a'));
    ASSERT_EQ(rec.Notes().size(), 1u);
    EXPECT_EQ(rec.Notes()[0].text, std::wstring(771, L'a'));
}

TEST(InstallerParseValues, InstallVersionKeptOnlyWhenComplete) {
    CInstaller installer(nullptr, L"\"p\"");
    installer.Parse(L"InstallVersion=3.14.15\r\n");
    EXPECT_EQ(installer.InstallVersion().major, 3);
    EXPECT_EQ(installer.InstallVersion().minor, 14);
    EXPECT_EQ(installer.InstallVersion().patch, 15);
    installer.Parse(L"InstallVersion=4.x\nInstallVersion=\n");
    EXPECT_EQ(installer.InstallVersion().major, 3);
    EXPECT_EQ(installer.InstallVersion().patch, 15);
}

TEST(InstallerParseValues, EncodeSelectsCodePage) {
    const struct {
        const wchar_t* line;
        unsigned codePage;
    } rows[] = {
        {L"Encode=UTF8", 65001},  {L"Encode= UTF8 \r", 65001}, {L"Encode=936", 936},     {L"Encode=ACP", 0},
        {L"Encode=abc", 0},       {L"Encode= 1252x", 1252},    {L"Encode=99999999999", 0}, {L"Encode=-5", 0},
        {L"Encode=utf8", 0},
    };
    for (const auto& r : rows) {
        CInstaller installer(nullptr, L"\"p\"");
        installer.Parse(L"Encode=65001");
        installer.Parse(r.line);
        EXPECT_EQ(installer.CodePage(), r.codePage) << Utils::WideToUtf8(r.line);
    }
}

class UninstallerParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(UninstallerParse, NotifiesAndJudges) {
    const ParseCase& c = GetParam();
    Recorder rec;
    CUnInstaller uninstaller(rec.Callback(), L"un.exe", L"C:\\old");
    EXPECT_EQ(uninstaller.Parse(c.chunk), c.verdict);
    EXPECT_EQ(rec.Notes(), c.notes);
}

const ParseCase kUninstallerCases[] = {
    {"Progress", L"Progress=0.25\r\n", {{5002, 0.25, L""}}, 0},
    {"Error", L"Error=文件被占用\r", {{5005, 0, L"文件被占用\r"}}, 1000},
    {"StateSuccess", L"State= Success\r\n", {{5003, 0, L""}}, 1},
    {"StateFail", L"State=Fail", {{5005, 0, L"安装包卸载失败"}}, 1000},
    {"StateOther", L"State=Ok", {}, 0},
    {"PackageKeysIgnored", L"InstPath=C:\\x\nMessage=m\n", {}, 0},
    {"FailAndMore", L"State=Fail\nProgress=0.9\n", {{5005, 0, L"安装包卸载失败"}, {5002, 0.9, L""}}, 1000},
};

INSTANTIATE_TEST_SUITE_P(Rows, UninstallerParse, ::testing::ValuesIn(kUninstallerCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(UninstallerParseValues, EncodeKnowsOnlyUtf8AndAnsi) {
    const struct {
        const wchar_t* line;
        unsigned codePage;
    } rows[] = {{L"Encode=UTF8\r", 65001}, {L"Encode=936", 0}, {L"Encode=ACP", 0}, {L"Encode=", 0}};
    for (const auto& r : rows) {
        CUnInstaller uninstaller(nullptr, L"u", L"f");
        uninstaller.Parse(L"Encode=UTF8");
        uninstaller.Parse(r.line);
        EXPECT_EQ(uninstaller.CodePage(), r.codePage) << Utils::WideToUtf8(r.line);
    }
}

TEST(InstallerCommandLine, CarriesEveryChoiceInOrder) {
    const struct {
        const char* name;
        bool admin, auth, desktop, quick;
        std::wstring language, instCmd, dir, expected;
    } rows[] = {
        {"AllOn", true, true, true, true, L"zh-CN", L"", L"C:\\Soft\\velqordoc",
         L"\"C:\\p\\__Package_velqordoc.exe\" /S -console=show -version=1.0.0 -adminact=true "
         L"-authorizationact=true -dsc=true -ssc=true -inslang=\"zh-CN\" -instdir=\"C:\\Soft\\velqordoc\" "
         L"/D=C:\\Soft\\velqordoc"},
        {"AllOffNoLanguage", false, false, false, false, L"", L"", L"D:\\a b",
         L"\"C:\\p\\__Package_velqordoc.exe\" /S -console=show -version=1.0.0 -adminact=false "
         L"-authorizationact=false -dsc=false -ssc=false -instdir=\"D:\\a b\" /D=D:\\a b"},
        {"EmptyFolder", true, false, true, false, L"en-US", L"",  L"",
         L"\"C:\\p\\__Package_velqordoc.exe\" /S -console=show -version=1.0.0 -adminact=true "
         L"-authorizationact=false -dsc=true -ssc=false -inslang=\"en-US\""},
        {"InstCmdBeforeFolder", false, true, false, true, L"zh-TW", L"-channel=abc /X", L"E:\\v",
         L"\"C:\\p\\__Package_velqordoc.exe\" /S -console=show -version=1.0.0 -adminact=false "
         L"-authorizationact=true -dsc=false -ssc=true -inslang=\"zh-TW\" -channel=abc /X -instdir=\"E:\\v\" "
         L"/D=E:\\v"},
    };
    for (const auto& r : rows) {
        InstallChoices choices;
        choices.installDir = r.dir;
        choices.adminAct = r.admin;
        choices.authorizationAct = r.auth;
        choices.desktopShortcut = r.desktop;
        choices.quickLaunchShortcut = r.quick;
        choices.installLanguage = r.language;
        choices.instCmd = r.instCmd;
        CInstaller installer(nullptr, L"\"C:\\p\\__Package_velqordoc.exe\"");
        installer.SetChoices(choices);
        EXPECT_EQ(installer.BuildCommandLine(), r.expected) << r.name;
    }
}

TEST(UninstallerCommandLine, FolderLastAndUnquoted) {
    CUnInstaller plain(nullptr, L"C:\\Temp\\velqordoc_un_asa.exe", L"C:\\Program Files (x86)\\velqordoc");
    EXPECT_EQ(plain.BuildCommandLine(true, false),
              L"C:\\Temp\\velqordoc_un_asa.exe /S -adminact=true -authorizationact=false -console=show "
              L"_?=C:\\Program Files (x86)\\velqordoc");
    // A program path with a blank is quoted so that it names one program.
    CUnInstaller blank(nullptr, L"C:\\Users\\A B\\Temp\\velqordoc_un_asa.exe", L"D:\\v");
    EXPECT_EQ(blank.BuildCommandLine(false, true),
              L"\"C:\\Users\\A B\\Temp\\velqordoc_un_asa.exe\" /S -adminact=false -authorizationact=true "
              L"-console=show _?=D:\\v");
}

}  // namespace
