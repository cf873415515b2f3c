#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "utils/text.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

using Args = std::vector<std::wstring>;

struct SplitCase {
    const wchar_t* line;
    Args expected;
};

const SplitCase kSplitCases[] = {
    {L"setup.exe", {L"setup.exe"}},
    {L"setup.exe -a=1 -b=2", {L"setup.exe", L"-a=1", L"-b=2"}},
    {L"\"C:\\Program Files\\setup.exe\" -x", {L"C:\\Program Files\\setup.exe", L"-x"}},
    {L"C:\\a\\b\\ x", {L"C:\\a\\b\\", L"x"}},
    {L"p \"a b\" c", {L"p", L"a b", L"c"}},
    {L"p a\\\\\\\"b", {L"p", L"a\\\"b"}},             // 3 backslashes + quote: \ and a literal quote
    {L"p a\\\\\"b c\"", {L"p", L"a\\b c"}},            // 2 backslashes + quote: \ and a toggle
    {L"p a\\b\\c", {L"p", L"a\\b\\c"}},                // backslashes not before a quote stay
    {L"p \"\"", {L"p", L""}},                          // an empty quoted argument
    {L"p \"a\"\"b\"", {L"p", L"a\"b"}},                // "" inside quotes: a literal quote
    {L"p   \t a  ", {L"p", L"a"}},
    {L"p -downloadurl=http://h/x?a=1&b=2", {L"p", L"-downloadurl=http://h/x?a=1&b=2"}},
    {L"\"p q\"r s", {L"p q", L"r", L"s"}},             // program name ends at its closing quote
};

TEST(SplitCommandLine, FollowsTheWindowsRules) {
    for (const auto& c : kSplitCases) EXPECT_EQ(Utils::SplitCommandLine(c.line), c.expected) << c.line;
}

#if defined(_WIN32)
// The portable splitter must agree with the platform's own.
TEST(SplitCommandLine, AgreesWithCommandLineToArgvW) {
    for (const auto& c : kSplitCases) {
        int n = 0;
        LPWSTR* argv = CommandLineToArgvW(c.line, &n);
        ASSERT_NE(argv, nullptr);
        Args platform(argv, argv + n);
        LocalFree(argv);
        EXPECT_EQ(Utils::SplitCommandLine(c.line), platform) << c.line;
    }
}
#endif

TEST(QuoteArgument, RoundTripsThroughTheSplitter) {
    const std::wstring args[] = {L"plain", L"with space", L"quote\"inside", L"trail\\", L"trail space\\",
                                 L"\\\\server\\share", L"", L"a\\\"b"};
    for (const auto& a : args) {
        Args split = Utils::SplitCommandLine(L"p " + Utils::QuoteArgument(a));
        ASSERT_EQ(split.size(), 2u) << a;
        EXPECT_EQ(split[1], a);
    }
}

TEST(Text, Utf8RoundTripAndEmptyInputs) {
    std::wstring w = L"安装成功 ok ✓";
    EXPECT_EQ(Utils::Utf8ToWide(Utils::WideToUtf8(w)), w);
    EXPECT_EQ(Utils::WideToUtf8(L"下载"), "\xE4\xB8\x8B\xE8\xBD\xBD");
    EXPECT_EQ(Utils::WideToUtf8(L""), "");
    EXPECT_EQ(Utils::Utf8ToWide(""), L"");
}

TEST(Text, DecodesGbkAndUtf8ByCodePage) {
    EXPECT_EQ(Utils::CodePageToWide("\xB0\xB2\xD7\xB0", 936), L"安装");
    EXPECT_EQ(Utils::CodePageToWide("\xE5\xAE\x89\xE8\xA3\x85", 65001), L"安装");
}

TEST(Text, ReplaceAllReplacesEveryOccurrenceOnce) {
    std::wstring s = L"http://h/${ROUTE}/a/${ROUTE}";
    Utils::ReplaceAll(s, L"${ROUTE}", L"download_silent");
    EXPECT_EQ(s, L"http://h/download_silent/a/download_silent");
    std::wstring t = L"aaa";
    Utils::ReplaceAll(t, L"a", L"aa");  // the replacement is not scanned again
    EXPECT_EQ(t, L"aaaaaa");
    Utils::ReplaceAll(t, L"", L"x");
    EXPECT_EQ(t, L"aaaaaa");
}

TEST(Text, LeadingNumbers) {
    struct Case {
        const wchar_t* text;
        long long value;
        bool ok;
    } ints[] = {{L"3", 3, true},   {L" -2", -2, true}, {L"12abc", 12, true},
                {L"abc", 0, false}, {L"", 0, false},   {L"+7", 7, true}};
    for (const auto& c : ints) {
        bool ok = !c.ok;
        EXPECT_EQ(Utils::ParseLeadingInteger(c.text, &ok), c.value) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
    bool ok = false;
    EXPECT_DOUBLE_EQ(Utils::ParseLeadingDouble(L" 0.5x", &ok), 0.5);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Utils::ParseLeadingDouble(L"x", &ok), 0.0);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(std::isinf(Utils::ParseLeadingDouble(L"1e999", &ok)));
}

}  // namespace
