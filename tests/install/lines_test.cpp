// Decoding a child's output and cutting it into lines.
#include <gtest/gtest.h>

#include "utils/child_process.h"

namespace {

TEST(DecodeChunk, StopsAtZeroByteAndDecodesByCodePage) {
    EXPECT_EQ(Utils::DecodeChunk(std::string("State=Success\0garbage", 21), 0), L"State=Success");
    EXPECT_EQ(Utils::DecodeChunk("", 65001), L"");
    EXPECT_EQ(Utils::DecodeChunk("\xE5\xAE\x89\xE8\xA3\x85", 65001), L"安装");
    EXPECT_EQ(Utils::DecodeChunk("\xB0\xB2\xD7\xB0", 936), L"安装");
    // All 1024 bytes of a full read, nothing beyond them.
    std::string full(1024, 'a');
    EXPECT_EQ(Utils::DecodeChunk(full, 65001).size(), 1024u);
}

TEST(DecodeLine, KeepsAsciiKeysWhenTheCodePageCannotDecode) {
    // A code page the system does not know still lets a verdict through.
    std::wstring line = Utils::DecodeLine("State=Fail", 54321);
    EXPECT_EQ(line, L"State=Fail");
}

TEST(SplitLines, FollowsLineFeeds) {
    using V = std::vector<std::wstring>;
    EXPECT_EQ(Utils::SplitLines(L""), V{});
    EXPECT_EQ(Utils::SplitLines(L"a\r\nb"), (V{L"a\r", L"b"}));
    EXPECT_EQ(Utils::SplitLines(L"a\n\nb\n"), (V{L"a", L"", L"b"}));
    EXPECT_EQ(Utils::SplitLines(L"State=Success"), V{L"State=Success"});
    EXPECT_EQ(Utils::SplitLines(L"\n"), V{L""});
}

TEST(LineAssembler, JoinsLinesAcrossReads) {
    Utils::LineAssembler a;
    using V = std::vector<std::string>;
    EXPECT_EQ(a.Feed("Progress=0.5\nInstPa"), V{"Progress=0.5"});
    EXPECT_EQ(a.Feed("th=C:\\x\r"), V{});
    EXPECT_EQ(a.Feed("\nState=Succ"), V{"InstPath=C:\\x\r"});
    std::string rest;
    ASSERT_TRUE(a.TakeRest(rest));
    EXPECT_EQ(rest, "State=Succ");
    EXPECT_FALSE(a.TakeRest(rest));
}

TEST(LineAssembler, MultiByteCharacterSplitBetweenReadsSurvives) {
    Utils::LineAssembler a;
    std::string message = "Message=\xE5\xAE\x89\xE8\xA3\x85\n";  // 安装
    auto first = a.Feed(message.substr(0, 10));                       // cuts the first character
    EXPECT_TRUE(first.empty());
    auto second = a.Feed(message.substr(10));
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(Utils::DecodeLine(second[0], 65001), L"Message=安装");
}

TEST(LineAssembler, OverlongLineIsHandedOnNotHoarded) {
    Utils::LineAssembler a;
    std::vector<std::string> lines;
    std::string block(1024, 'x');
    for (int i = 0; i < 80 && lines.empty(); ++i) lines = a.Feed(block);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), Utils::LineAssembler::kMaxPending);
}

}  // namespace
