#include <gtest/gtest.h>

#include <cmath>

#include "config/launch_config.h"
#include "tests/common/temp_dir.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {

using testing_support::TempDir;

class ConfigFile : public ::testing::Test {
protected:
    // Loads the configuration of an executable in a fresh folder whose
    // ZelmoxInstallerConfig.ini holds `ini` (no file when ini is nullptr).
    LaunchConfig Load(const char* ini) {
        if (ini) {
            EXPECT_TRUE(Utils::WriteFileBytes(m_dir.File(L"ZelmoxInstallerConfig.ini"), ini));
        }
        LaunchConfig c;
        c.LoadConfigFileFor(m_dir.File(L"velqor-setup.exe"));
        return c;
    }
    TempDir m_dir;
};

TEST_F(ConfigFile, WithoutAFileEverythingKeepsItsDefault) {
    LaunchConfig c = Load(nullptr);
    EXPECT_EQ(c.ProductId, L"velqordoc");
    EXPECT_EQ(c.AppVersion, L"1.7.9");
    EXPECT_EQ(c.ExeName, L"velqor-setup.exe");
    EXPECT_FALSE(c.IsCheckNet);
    EXPECT_TRUE(c.IsEnableAppAnalytics);
    EXPECT_EQ(c.DownloadType, 1);
    EXPECT_DOUBLE_EQ(c.DownloadScale, 0.7);
    EXPECT_EQ(c.DlAppNameSuffix, L".downloader");
    EXPECT_EQ(c.DownloadUrl, LaunchConfig::kDefaultDownloadUrl);
    EXPECT_NE(c.DownloadUrl.find(L"/software/342"), std::wstring::npos);
    EXPECT_EQ(c.ABGroup, L"IN");
    EXPECT_EQ(c.Language, 0);
    EXPECT_TRUE(c.CurlReady);
}

TEST_F(ConfigFile, AnEmptySectionAppliesTheKeysOwnDefaults) {
    LaunchConfig c = Load("[Install]\r\n");
    EXPECT_TRUE(c.IsCheckNet);  // the key's absent-default is "true"
    EXPECT_TRUE(c.IsEnableAppAnalytics);
    EXPECT_EQ(c.DownloadType, 1);
    EXPECT_DOUBLE_EQ(c.DownloadScale, 0.7);
}

TEST_F(ConfigFile, ReadsEveryKey) {
    LaunchConfig c = Load(
        "[Install]\r\nDownloadUrl=http://127.0.0.1:8000/${ROUTE}/p?x=1&y=${ROUTE}\r\nDownloadType=3\r\n"
        "IsCheckNet=True\r\nIsEnableAppAnalytics=false\r\nDlAppNameSuffix=.dl\r\nm_DlAppVersion=2.0\r\n"
        "DownloadScale=0.5\r\nInstCmd=-extra=1\r\nAnalyticsUrl=http://127.0.0.1:9/sa?project=pc\r\n");
    EXPECT_EQ(c.DownloadUrl.find(L"${ROUTE}"), std::wstring::npos);
    EXPECT_NE(c.DownloadUrl.find(L"/download_silent/p?x=1&y=download_silent"), std::wstring::npos);
    EXPECT_EQ(c.DownloadType, 3);
    EXPECT_FALSE(c.IsCheckNet);  // "True" is not "true"
    EXPECT_FALSE(c.IsEnableAppAnalytics);
    EXPECT_EQ(c.DlAppNameSuffix, L".dl");
    EXPECT_EQ(c.m_DlAppVersion, L"2.0");
    EXPECT_DOUBLE_EQ(c.DownloadScale, 0.5);
    EXPECT_EQ(c.InstCmd, L"-extra=1");
    EXPECT_EQ(c.AnalyticsUrl, L"http://127.0.0.1:9/sa?project=pc");
    EXPECT_EQ(c.ProductId, L"velqordoc");
}

TEST_F(ConfigFile, DownloadScaleTextWithoutNumberIsZeroAndOutOfRangeKeepsDefault) {
    EXPECT_DOUBLE_EQ(Load("[Install]\r\nDownloadScale=abc\r\n").DownloadScale, 0.0);
    EXPECT_DOUBLE_EQ(Load("[Install]\r\nDownloadScale=  0.25xyz\r\n").DownloadScale, 0.25);
    EXPECT_DOUBLE_EQ(Load("[Install]\r\nDownloadScale=7\r\n").DownloadScale, 0.7);
    EXPECT_DOUBLE_EQ(Load("[Install]\r\nDownloadScale=1e999\r\n").DownloadScale, 0.7);
}

TEST(ExpandRoute, ReplacesEveryMarkerByTheRouteForTheVersion) {
    struct Case {
        const wchar_t* url;
        const wchar_t* version;
        const wchar_t* expected;
    } cases[] = {
        {L"http://h/software/342", L"XP", L"http://h/software/342"},
        {L"http://h/${ROUTE}/a", L"10", L"http://h/download_silent/a"},
        {L"http://h/${ROUTE}/${ROUTE}", L"7", L"http://h/download_silent/download_silent"},
        {L"http://h/${ROUTE}", L"XP", L"http://h/download_silent_xp"},
        {L"http://h/${ROUTE}", L"XP-", L"http://h/download_silent_xp"},
        {L"http://h/${ROUTE}", L"XP+", L"http://h/download_silent_xp"},
        {L"http://h/${ROUTE}", L"Server 2003", L"http://h/download_silent"},
    };
    for (const auto& c : cases) EXPECT_EQ(LaunchConfig::ExpandRoute(c.url, c.version), c.expected) << c.url;
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { m_config.ApplyDefaults(); }
    LaunchConfig& Parse(const wchar_t* line) {
        m_config.ParseCommandLine(line);
        return m_config;
    }
    LaunchConfig m_config;
};

TEST_F(CommandLine, AppliesEveryKnownOption) {
    auto& c = Parse(
        L"\"C:\\dl\\velqor-setup.exe\" -downloadurl=http://h/${ROUTE}/p?a=1&b=2 -downloadtype=3 "
        L"-downloadscale=0.4 -ischecknet=true -isenableappanalytics=false -dlappnamesuffix=.x "
        L"-dlappversion=9 \"-instcmd=-a=1 -b=2\" -language=2 -analyticsurl=http://127.0.0.1:1/sa");
    EXPECT_EQ(c.DownloadUrl, L"http://h/download_silent/p?a=1&b=2");
    EXPECT_EQ(c.DownloadType, 3);
    EXPECT_DOUBLE_EQ(c.DownloadScale, 0.4);
    EXPECT_TRUE(c.IsCheckNet);
    EXPECT_FALSE(c.IsEnableAppAnalytics);
    EXPECT_EQ(c.DlAppNameSuffix, L".x");
    EXPECT_EQ(c.m_DlAppVersion, L"9");
    EXPECT_EQ(c.InstCmd, L"-a=1 -b=2");
    EXPECT_EQ(c.Language, 2);
    EXPECT_TRUE(c.LanguageGiven);
    EXPECT_EQ(c.AnalyticsUrl, L"http://127.0.0.1:1/sa");
    m_config.ApplyDefaults();
    EXPECT_FALSE(Parse(L"p -downloadtype=3").LanguageGiven) << "without the option the layouts' texts stay";
}

TEST_F(CommandLine, IntegersAndFlagsFromTheirText) {
    struct Case {
        const wchar_t* line;
        int type;
        bool checkNet;
    } cases[] = {
        {L"p -downloadtype=12abc", 12, false},
        {L"p -downloadtype=abc", 0, false},
        {L"p \"-downloadtype= -5\"", -5, false},
        {L"p -downloadtype=2 -downloadtype=3", 2, false},  // the first one wins
        {L"p -downloadtype=9999999999999999999999999999999999999999", 2147483647, false},
        {L"p -ischecknet=true", 1, true},
        {L"p -ischecknet=TRUE", 1, false},
        {L"p -ischecknet", 1, false},
        {L"p -ischecknet=", 1, false},
        {L"p -DOWNLOADTYPE=3", 1, false},  // keys are case-sensitive
        {L"p downloadtype=3", 1, false},   // no leading '-': not an option
    };
    for (const auto& tc : cases) {
        LaunchConfig c;
        c.ApplyDefaults();
        c.IsCheckNet = true;
        c.ParseCommandLine(tc.line);
        EXPECT_EQ(c.DownloadType, tc.type) << tc.line;
        if (std::wstring(tc.line).find(L"ischecknet") != std::wstring::npos)
            EXPECT_EQ(c.IsCheckNet, tc.checkNet) << tc.line;
        else
            EXPECT_TRUE(c.IsCheckNet) << tc.line;
        EXPECT_EQ(c.DownloadUrl, LaunchConfig::kDefaultDownloadUrl) << tc.line;  // other fields untouched
    }
}

TEST_F(CommandLine, PresentOptionsOverwriteEvenWhenEmpty) {
    m_config.InstCmd = L"x";
    auto& c = Parse(L"p -downloadurl -instcmd= -language=zz");
    EXPECT_EQ(c.DownloadUrl, L"");
    EXPECT_EQ(c.InstCmd, L"");
    EXPECT_EQ(c.Language, 0);
}

TEST_F(CommandLine, UnusableDownloadScaleKeepsThePreviousValueAndSaysSo) {
    std::vector<std::wstring> lines;
    Utils::SetLogSink([&](const std::wstring& l) { lines.push_back(l); });
    for (const wchar_t* bad : {L"p -downloadscale=abc", L"p -downloadscale=inf", L"p -downloadscale=nan",
                               L"p -downloadscale=1.5", L"p -downloadscale=-0.1", L"p -downloadscale=1e999"}) {
        LaunchConfig c;
        c.ApplyDefaults();
        c.DownloadScale = 0.6;
        c.ParseCommandLine(bad);
        EXPECT_DOUBLE_EQ(c.DownloadScale, 0.6) << bad;
        EXPECT_TRUE(std::isfinite(c.DownloadScale));
    }
    Utils::SetLogSink(nullptr);
    EXPECT_EQ(lines.size(), 6u);
    for (const auto& l : lines) EXPECT_NE(l.find(L"DownloadScale"), std::wstring::npos);
    struct Edge {
        const wchar_t* line;
        double scale;
    } edges[] = {{L"p -downloadscale=0", 0.0}, {L"p -downloadscale=1", 1.0}, {L"p -downloadscale=0.3x", 0.3}};
    for (const auto& e : edges) {
        LaunchConfig c;
        c.ApplyDefaults();
        c.ParseCommandLine(e.line);
        EXPECT_DOUBLE_EQ(c.DownloadScale, e.scale) << e.line;
    }
}

TEST_F(CommandLine, UnattendedOptionsAreOffWithoutTheOptions) {
    const auto& u = Parse(L"p -downloadtype=3 /S -unknown=1").Unattended;
    EXPECT_FALSE(u.Silent);
    EXPECT_TRUE(u.InstallDir.empty());
    EXPECT_TRUE(u.DesktopShortcut);
    EXPECT_TRUE(u.QuickLaunch);
    EXPECT_TRUE(u.LogFile.empty());
    EXPECT_TRUE(u.Errors.empty());
}

TEST_F(CommandLine, UnattendedOptionsTable) {
    struct Case {
        const wchar_t* line;
        bool silent;
        const wchar_t* dir;
        bool dsc, ssc;
        const wchar_t* log;
    } cases[] = {
        {L"p -silent=true", true, L"", true, true, L""},
        {L"p -silent=false", false, L"", true, true, L""},
        {L"p -silent=true -dsc=false -ssc=false", true, L"", false, false, L""},
        {L"p -silent=true -dsc=true -ssc=false", true, L"", true, false, L""},
        {L"p -silent=true \"-instdir=C:\\Program Files\\Velqor\"", true, L"C:\\Program Files\\Velqor", true, true, L""},
        {L"p -silent=true -instdir=D:/Apps/Velqor/", true, L"D:\\Apps\\Velqor", true, true, L""},
        {L"p -silent=true -instdir=C:\\", true, L"C:\\", true, true, L""},
        {L"p -silent=true -instdir=\\\\server\\share\\velqor", true, L"\\\\server\\share\\velqor", true, true, L""},
        {L"p -silent=true -silent=true", true, L"", true, true, L""},  // the same value twice is no contradiction
        {L"p -log=C:\\logs\\setup.log", false, L"", true, true, L"C:\\logs\\setup.log"},
        {L"p \"-log=C:\\my logs\\a=b.log\" -silent=true", true, L"", true, true, L"C:\\my logs\\a=b.log"},
    };
    for (const auto& tc : cases) {
        LaunchConfig c;
        c.ApplyDefaults();
        c.ParseCommandLine(tc.line);
        const auto& u = c.Unattended;
        EXPECT_TRUE(u.Errors.empty()) << Utils::WideToUtf8(tc.line) << ": "
                                      << (u.Errors.empty() ? "" : Utils::WideToUtf8(u.Errors[0]));
        EXPECT_EQ(u.Silent, tc.silent) << tc.line;
        EXPECT_EQ(u.InstallDir, tc.dir) << tc.line;
        EXPECT_EQ(u.DesktopShortcut, tc.dsc) << tc.line;
        EXPECT_EQ(u.QuickLaunch, tc.ssc) << tc.line;
        EXPECT_EQ(u.LogFile, tc.log) << tc.line;
    }
}

TEST_F(CommandLine, BadOrContradictoryUnattendedOptionsAreRefusedWithTheReason) {
    struct Case {
        const wchar_t* line;
        const wchar_t* reason;  // a piece of the first problem's text
    } cases[] = {
        {L"p -silent=True", L"-silent=True is not understood"},
        {L"p -silent=1", L"write true or false"},
        {L"p -silent", L"-silent needs a value"},
        {L"p -silent=", L"-silent= is not understood"},
        {L"p -Silent=true", L"lower case: -Silent must be -silent"},
        {L"p -SILENT=true", L"-SILENT must be -silent"},
        {L"p -silent=true -silent=false", L"-silent is given twice with different values"},
        {L"p -silent=true -dsc=no", L"-dsc=no is not understood"},
        {L"p -silent=true -ssc", L"-ssc needs a value"},
        {L"p -silent=true -instdir=", L"is not a full path"},
        {L"p -silent=true -instdir=velqor", L"-instdir=velqor is not a full path"},
        {L"p -silent=true -instdir=\\velqor", L"is not a full path"},
        {L"p -silent=true -instdir=C:velqor", L"is not a full path"},
        {L"p -silent=true \"-instdir=C:\\Program Files\\\"", L"contains a quote"},
        {L"p -silent=true -instdir=C:\\a -instdir=C:\\b", L"-instdir is given twice"},
        {L"p -instdir=C:\\Velqor", L"-instdir applies only to a silent install"},
        {L"p -silent=false -dsc=false", L"-dsc applies only to a silent install"},
        {L"p -ssc=true", L"-ssc applies only to a silent install"},
        {L"p -silent=true -log=", L"-log needs a file name"},
        {L"p -silent=true -log", L"-log needs a value"},
    };
    for (const auto& tc : cases) {
        LaunchConfig c;
        c.ApplyDefaults();
        c.ParseCommandLine(tc.line);
        const auto& errors = c.Unattended.Errors;
        ASSERT_FALSE(errors.empty()) << Utils::WideToUtf8(tc.line);
        EXPECT_NE(errors[0].find(tc.reason), std::wstring::npos)
            << Utils::WideToUtf8(tc.line) << " gave: " << Utils::WideToUtf8(errors[0]);
        // The older options are applied as before.
        EXPECT_EQ(c.DownloadUrl, LaunchConfig::kDefaultDownloadUrl) << tc.line;
    }
}

TEST_F(CommandLine, EveryProblemIsListed) {
    // -silent, -dsc and -instdir themselves, then -instdir and -dsc without silent mode.
    EXPECT_EQ(Parse(L"p -silent=yes -dsc=maybe -instdir=x").Unattended.Errors.size(), 5u);
}

TEST(GlobalConfig, IsReadyDuringStaticInitialisation) {
    // Filled from the defaults (and a file beside the test program, if any).
    EXPECT_EQ(GetLaunchConfig().ProductId, L"velqordoc");
    EXPECT_EQ(GetLaunchConfig().ABGroup, L"IN");
}

}  // namespace
