#include <gtest/gtest.h>

#include "ui/install_progress.h"

namespace {

TEST(InstallProgress, DownloadFillsTheBarUpToTheScale) {
    InstallProgress p(0.7);
    struct Case {
        double fraction;
        int percent;
    } cases[] = {{0.0, 0}, {0.5, 35}, {0.999, 69}, {1.0, 70}};
    for (const auto& c : cases) EXPECT_EQ(p.DownloadPercent(c.fraction), c.percent) << c.fraction;
    EXPECT_EQ(InstallProgress(1.0).DownloadPercent(0.5), 50);
}

TEST(InstallProgress, EveryPackageLineAdvancesUpToNinetyFivePercentOfItsShare) {
    InstallProgress p(0.7);
    // Double arithmetic truncated: the second line is 78 (0.7 + 0.3 * 0.3 falls just short of 0.79).
    const int expected[] = {74, 78, 83, 88, 92, 97, 98, 98, 98};
    for (int e : expected) EXPECT_EQ(p.InstallPercent(0.0), e);
    EXPECT_EQ(p.InstallPercent(1.0), 100);  // the package's own fraction wins when ahead
}

TEST(InstallProgress, APackageAheadOfThePseudoProgressMovesTheBarAtOnce) {
    InstallProgress p(0.7);
    EXPECT_EQ(p.InstallPercent(0.9), 97);
    EXPECT_DOUBLE_EQ(p.PseudoProgress(), 0.9);
    EXPECT_EQ(p.InstallPercent(0.0), 98);  // continues from there, capped at 0.95
}

TEST(InstallProgress, TextSwitchesAfterSixtySecondsSinceTheDownloadStarted) {
    InstallProgress p(0.7);
    EXPECT_EQ(p.Text(35, 123456), L"正在安装中:35%，请稍候...");  // clock not running: 0 s
    p.StartClock(1000);
    EXPECT_EQ(p.Text(35, 61000), L"正在安装中:35%，请稍候...");  // exactly 60 s is not more
    EXPECT_EQ(p.Text(74, 61001), L"正在安装中:74%，请耐心等待...");
    p.StartClock(61001);  // a restarted download restarts the clock
    EXPECT_EQ(p.Text(74, 62000), L"正在安装中:74%，请稍候...");
    p.StartClock(0xFFFFFF00u);  // tick counter wrap-around
    EXPECT_NEAR(p.ElapsedSeconds(0x100u), 0.512f, 1e-6);
}

TEST(InstallProgress, LayoutFormatsAreUsedOnlyWhenSafe) {
    InstallProgress p(0.7);
    EXPECT_EQ(p.Text(5, 0, L"Installing %d%%"), L"Installing 5%");
    // A format asking for anything but one number falls back to the built-in text.
    for (const wchar_t* bad : {L"%s", L"%d %n", L"50%", L"%ls%d", L"%x"})
        EXPECT_EQ(p.Text(5, 0, bad), L"正在安装中:5%，请稍候...") << bad;
}

TEST(InstallProgress, FailureResetsTheBarFromSeventyPercent) {
    EXPECT_FALSE(InstallProgress::FailureResetsBar(50));
    EXPECT_FALSE(InstallProgress::FailureResetsBar(69));
    EXPECT_TRUE(InstallProgress::FailureResetsBar(70));
    EXPECT_TRUE(InstallProgress::FailureResetsBar(80));
}

}  // namespace
