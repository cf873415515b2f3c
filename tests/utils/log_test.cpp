#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

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
