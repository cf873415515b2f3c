// The language file reader: texts of the chosen language, odd elements
// skipped, and files that are no usable JSON refused without a change.
#include <gtest/gtest.h>

#include <string>

#include "toolkit/archive.h"
#include "ui/language.h"

namespace {

class LanguageFile : public ::testing::Test {
protected:
    void SetUp() override { toolkit::ClearLanguageTexts(); }
    void TearDown() override { toolkit::ClearLanguageTexts(); }
    static std::wstring Text(const wchar_t* id) {
        std::wstring text;
        return toolkit::GetLanguageText(id, text) ? text : L"<none>";
    }
};

TEST_F(LanguageFile, ReadsTheChosenLanguageAndSkipsOddElements) {
    const std::string file =
        R"([{"id": 101, "en-US": "Install now", "zh-CN": "立即安装", "zh-TW": "立即安裝"},)"
        R"( {"id": "102", "zh-CN": "string id"}, {"id": 103, "zh-CN": 5}, [1], null, {"id": 104}])";
    ASSERT_TRUE(ReadLanguageTexts(file, 1));
    EXPECT_EQ(Text(L"101"), L"立即安装");
    EXPECT_EQ(Text(L"102"), L"<none>");
    EXPECT_EQ(Text(L"103"), L"<none>");
    EXPECT_EQ(Text(L"104"), L"<none>");
    ASSERT_TRUE(ReadLanguageTexts(file, 2));
    EXPECT_EQ(Text(L"101"), L"立即安裝");
    EXPECT_FALSE(ReadLanguageTexts(file, 3));
}

TEST_F(LanguageFile, UnusableFilesChangeNothing) {
    toolkit::SetLanguageText(L"101", L"kept");
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"not JSON", "language"},
        {"an object, not an array", R"({"id": 101, "en-US": "x"})"},
        {"cut short", R"([{"id": 101, "en-US": "x")"},
        // Nesting no language file has (a reader could throw or recurse on it).
        {"nested too deeply", std::string(5000, '[') + std::string(5000, ']')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(ReadLanguageTexts(c.bytes, 0));
        EXPECT_EQ(Text(L"101"), L"kept");
    }
}

}  // namespace
