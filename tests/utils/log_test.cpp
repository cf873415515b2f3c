#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "tests/common/temp_dir.h"
#include "utils/child_process.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/text.h"
#include "utils/time.h"

namespace {

struct CapturedLog {
    std::vector<std::wstring> lines;
    CapturedLog() {
        Utils::SetLogSink([this](const std::wstring& l) { lines.push_back(l); });
    }
    ~CapturedLog() { Utils::SetLogSink(nullptr); }
};

struct Probe {
    static void Run() { DEBUG_LOG(L"DL_TYPE=%d\r\n", 1); }
};

TEST(LogFile, EveryLineIsAppendedWholeAsUtf8AndTheFolderIsCreated) {
    testing_support::TempDir dir;
    const std::wstring path = dir.File(L"logs\\deeper\\setup.log");
    ASSERT_TRUE(Utils::WriteFileBytes(dir.File(L"logs.txt"), ""));  // unrelated file beside
    {
        CapturedLog channel;  // the channel still gets every line
        ASSERT_TRUE(Utils::SetLogFile(path));
        DEBUG_LOG(L"first %ls\r\n", L"下载");
        DEBUG_LOG(L"no line end %d", 7);
        Utils::SetLogFile(L"");
        DEBUG_LOG(L"not in the file\r\n");
        EXPECT_EQ(channel.lines.size(), 3u);
    }
    ASSERT_TRUE(Utils::SetLogFile(path));  // a second run appends
    DEBUG_LOG(L"second run\r\n");
    Utils::SetLogFile(L"");

    std::string bytes;
    ASSERT_TRUE(Utils::ReadFileBytes(path, bytes));
    const std::vector<std::wstring> lines = Utils::SplitLines(Utils::Utf8ToWide(bytes));
    ASSERT_EQ(lines.size(), 3u) << bytes;
    const std::wregex prefix(LR"(^<P\d{5}><T\d{5}><\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}>\([^)]*\)<\d{4}>: )");
    EXPECT_TRUE(std::regex_search(lines[0], prefix));
    EXPECT_NE(lines[0].find(L": first 下载"), std::wstring::npos);
    EXPECT_NE(lines[1].find(L": no line end 7"), std::wstring::npos);
    EXPECT_NE(lines[2].find(L": second run"), std::wstring::npos);
    EXPECT_EQ(bytes.find("not in the file"), std::string::npos);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3);  // one line end each, none doubled
}

TEST(LogFile, AFileThatCannotBeOpenedIsReportedOnceAndIgnored) {
    testing_support::TempDir dir;
    ASSERT_TRUE(Utils::WriteFileBytes(dir.File(L"blocker"), "x"));
    CapturedLog channel;
    // A folder where the file's parent folder would have to be.
    EXPECT_FALSE(Utils::SetLogFile(dir.File(L"blocker\\setup.log")));
    DEBUG_LOG(L"still logged\r\n");
    ASSERT_EQ(channel.lines.size(), 2u);
    EXPECT_NE(channel.lines[0].find(L"cannot be opened"), std::wstring::npos);
    EXPECT_NE(channel.lines[1].find(L"still logged"), std::wstring::npos);
}

TEST(DebugLog, PrefixFieldsArePaddedAsSpecifiedForTheExample) {
    Utils::LocalTime t{2024, 5, 3, 10, 2, 3, 45};
    EXPECT_EQ(Utils::FormatLogLine(4180, 7412, t, "CDownloadInstaller::Start", 162, L"DL_TYPE=%d\r\n", 1),
              L"<P04180><T07412><2024-05-03 10:02:03.045>(CDownloadInstaller::Start)<0162>: DL_TYPE=1\r\n");
}

TEST(DebugLog, MessageWithoutLineEndGetsNoneAdded) {
    Utils::LocalTime t{2024, 1, 2, 3, 4, 5, 6};
    std::wstring line = Utils::FormatLogLine(1, 2, t, "Utils::CheckNetwork", 7, L"GetConnectivity %d", 3);
    EXPECT_EQ(line, L"<P00001><T00002><2024-01-02 03:04:05.006>(Utils::CheckNetwork)<0007>: GetConnectivity 3");
}

TEST(DebugLog, WideStringArgumentsAndLongMessagesAreFormattedWhole) {
    Utils::LocalTime t{2024, 1, 2, 3, 4, 5, 6};
    std::wstring big(5000, L'x');
    std::wstring line = Utils::FormatLogLine(1, 2, t, "f", 1, L"%ls|%ls", L"下载", big.c_str());
    EXPECT_NE(line.find(L"下载|" + big), std::wstring::npos);
}

TEST(DebugLog, EmitsOneLineWithTheCallersQualifiedFunctionAndLine) {
    CapturedLog log;
    Probe::Run();
    ASSERT_EQ(log.lines.size(), 1u);
    std::string line = Utils::WideToUtf8(log.lines[0]);
    std::regex shape(R"(^<P\d{5,}><T\d{5,}><\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}>\(\{anonymous\}::Probe::Run\)<\d{4}>: DL_TYPE=1\r\n$)");
    EXPECT_TRUE(std::regex_match(line, shape)) << line;
}

TEST(DebugLog, QualifiedFunctionNameStripsReturnTypeAndParameters) {
    struct Case {
        const char* pretty;
        const char* expected;
    } cases[] = {
        {"void CDownloadInstaller::Start()", "CDownloadInstaller::Start"},
        {"static unsigned int Utils::Thread::CallBack(Utils::Thread*)", "Utils::Thread::CallBack"},
        {"std::vector<int, std::allocator<int> > Foo::Bar(int)", "Foo::Bar"},
        {"bool Foo::operator()(int) const", "Foo::operator()"},
        {"int main()", "main"},
        {"CMainWnd::OnTimer(int)::<lambda(int)>", "CMainWnd::OnTimer(int)::<lambda(int)>"},
    };
    for (const auto& c : cases) EXPECT_EQ(Utils::QualifiedFunctionName(c.pretty), c.expected) << c.pretty;
}

}  // namespace
