#include <gtest/gtest.h>

#include "toolkit/image_string.h"
#include "toolkit/values.h"

using namespace toolkit;

TEST(Values, ColoursWithPrefixesAndMalformedInput) {
    struct Case {
        const wchar_t* text;
        bool ok;
        Color value;
    } cases[] = {
        {L"#FF1675FE", true, 0xFF1675FE}, {L"0xFFFFFFFF", true, 0xFFFFFFFF}, {L"#00000000", true, 0},
        {L"26003B76", true, 0x26003B76},  {L"#abc", true, 0xABC},            {L"0XFF000001", true, 0xFF000001},
        {L"", false, 0},                  {L"#", false, 0},                  {L"0x", false, 0},
        {L"#FF1675FEAA", false, 0},       {L"#GG000000", false, 0},          {L"red", false, 0},
        {L"# FF", false, 0},
    };
    for (const auto& c : cases) {
        Color out = 0x12345678;
        EXPECT_EQ(ParseColor(c.text, out), c.ok) << c.text;
        EXPECT_EQ(out, c.ok ? c.value : 0x12345678u) << c.text;  // failure keeps the default
    }
}

TEST(Values, TuplesAndIntegers) {
    Rect r{9, 9, 9, 9};
    EXPECT_TRUE(ParseRect(L"26,0,0,0", r));
    EXPECT_EQ(r, (Rect{26, 0, 0, 0}));
    EXPECT_TRUE(ParseRect(L"-1, 2 ,3,4", r));
    EXPECT_EQ(r, (Rect{-1, 2, 3, 4}));
    for (const wchar_t* bad : {L"", L"1,2,3", L"1,2,3,4,5", L"1,,3,4", L"a,b,c,d", L"1;2;3;4", L",,,",
                               L"99999999999,0,0,0"}) {
        Rect keep{7, 7, 7, 7};
        EXPECT_FALSE(ParseRect(bad, keep)) << bad;
        EXPECT_EQ(keep, (Rect{7, 7, 7, 7})) << bad;
    }
    Size s;
    EXPECT_TRUE(ParseSize(L"600,400", s));
    EXPECT_EQ(s, (Size{600, 400}));
    EXPECT_FALSE(ParseSize(L"600", s));
    EXPECT_FALSE(ParseSize(L"600,400,1", s));
    int n = 5;
    EXPECT_FALSE(ParseInt(L"12px", n));
    EXPECT_FALSE(ParseInt(L"-", n));
    EXPECT_EQ(n, 5);
    EXPECT_TRUE(ParseInt(L" -20 ", n));
    EXPECT_EQ(n, -20);
}

TEST(Values, BooleanCaseRules) {
    EXPECT_TRUE(IsTrue(L"true"));
    EXPECT_FALSE(IsTrue(L"True"));
    EXPECT_FALSE(IsTrue(L"1"));
    EXPECT_TRUE(IsTrueNoCase(L"TRUE"));
    EXPECT_FALSE(IsTrueNoCase(L"yes"));
}

TEST(ImageString, BareNameAndKeyValueForms) {
    ImageSpec desc;
    ASSERT_TRUE(ParseImageString(L"res\\mainWnd\\bg1.png", desc));
    EXPECT_EQ(desc.file, L"res\\mainWnd\\bg1.png");
    EXPECT_FALSE(desc.hasDest);
    EXPECT_EQ(desc.fade, 255);

    ASSERT_TRUE(ParseImageString(
        L"file='a.png' dest='0,7,16,23' source='1,2,3,4' corner='4,0,4,0' hole='true' xtiled='true' "
        L"ytiled='false' mask='#FF00FF' fade='140' res='x' restype='PNG' unknown='zz'",
        desc));
    EXPECT_EQ(desc.file, L"a.png");
    EXPECT_TRUE(desc.hasDest);
    EXPECT_EQ(desc.dest, (Rect{0, 7, 16, 23}));
    EXPECT_TRUE(desc.hasSource);
    EXPECT_EQ(desc.source, (Rect{1, 2, 3, 4}));
    EXPECT_EQ(desc.corner, (Rect{4, 0, 4, 0}));
    EXPECT_TRUE(desc.hole);
    EXPECT_TRUE(desc.xtiled);
    EXPECT_FALSE(desc.ytiled);
    EXPECT_TRUE(desc.hasMask);
    EXPECT_EQ(desc.mask, 0xFF00FFu);
    EXPECT_EQ(desc.fade, 140);
    EXPECT_EQ(desc.restype, L"PNG");

    ASSERT_TRUE(ParseImageString(L"file='b.png' corner='scale9' fade='999'", desc));
    EXPECT_EQ(desc.corner, (Rect{}));
    EXPECT_EQ(desc.fade, 255);
    ASSERT_TRUE(ParseImageString(L"file='c.png' scale9='1,2,3,4' fade='-3'", desc));
    EXPECT_EQ(desc.corner, (Rect{1, 2, 3, 4}));
    EXPECT_EQ(desc.fade, 0);
}

TEST(ImageString, MalformedInputKeepsDefaults) {
    ImageSpec desc;
    EXPECT_FALSE(ParseImageString(L"", desc));
    EXPECT_FALSE(ParseImageString(L"dest='1,2,3,4'", desc));  // no file
    EXPECT_TRUE(desc.hasDest);
    ASSERT_TRUE(ParseImageString(L"file='unterminated.png dest='1,2", desc));
    EXPECT_FALSE(desc.hasDest);
    ASSERT_TRUE(ParseImageString(L"file=plain.png dest='x,y,z,w'", desc));
    EXPECT_EQ(desc.file, L"plain.png");
    EXPECT_FALSE(desc.hasDest);
    EXPECT_FALSE(ParseImageString(L"===''''", desc));
}
