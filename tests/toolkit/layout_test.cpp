#include <gtest/gtest.h>

#include "fake_host.h"
#include "toolkit/markup.h"
#include "toolkit/shadow.h"
#include "ui/sequence_controls.h"

using namespace toolkit;

namespace {

// Builds markup, gives the tree a host, initialises and lays it out at the window size.
struct Built {
    FakeHost host;  // outlives the tree
    LayoutDocument doc;
    Control* Find(const wchar_t* name) { return doc.root->FindByName(name); }
};

std::unique_ptr<Built> Build(const std::string& markup, bool expectOk = true) {
    auto b = std::make_unique<Built>();
    std::wstring error;
    bool ok = BuildLayout(markup, CreateSkinControl, b->doc, &error);
    EXPECT_EQ(ok, expectOk) << std::string(error.begin(), error.end());
    if (!ok) return b;
    b->doc.root->SetHost(&b->host, nullptr);
    std::vector<Control*> stack{b->doc.root.get()};
    while (!stack.empty()) {
        Control* c = stack.back();
        stack.pop_back();
        c->Init();
        if (auto* box = c->As<Container>())
            for (size_t i = 0; i < box->Count(); ++i) stack.push_back(box->ChildAt(i));
    }
    b->doc.root->SetPos(Rect{0, 0, b->doc.window.size.cx, b->doc.window.size.cy});
    return b;
}

std::string Window(const std::string& body, const std::string& attrs = R"(size="600,400")") {
    return "<Window " + attrs + ">" + body + "</Window>";
}

}  // namespace

TEST(BoxLayout, SpacersCentreFixedControls) {
    auto b = Build(Window(R"(<HorizontalLayout><Control/><Button name="b" width="200"/><Control/></HorizontalLayout>)"));
    EXPECT_EQ(b->Find(L"b")->GetPos(), (Rect{200, 0, 400, 400}));
}

TEST(BoxLayout, SharesGoEquallyAndTheRemainderToTheLast) {
    auto b = Build(Window(R"(<VerticalLayout>
        <Control name="a"/><Control name="f" height="100" padding="0,5,0,5"/><Control name="b"/><Control name="c"/>
        <Control name="hidden" height="50" visible="false"/></VerticalLayout>)"));
    // 400 - 110 = 290 over three: 96, 96 and the rest 98.
    EXPECT_EQ(b->Find(L"a")->GetPos(), (Rect{0, 0, 600, 96}));
    EXPECT_EQ(b->Find(L"f")->GetPos(), (Rect{0, 101, 600, 201}));
    EXPECT_EQ(b->Find(L"b")->GetPos(), (Rect{0, 206, 600, 302}));
    EXPECT_EQ(b->Find(L"c")->GetPos(), (Rect{0, 302, 600, 400}));
}

TEST(BoxLayout, CrossAxisAndOverflow) {
    auto b = Build(Window(R"(<VerticalLayout>
        <Control name="narrow" width="100" height="10" padding="7,0,0,0"/>
        <Control name="wide" width="900" height="10"/>
        <Control name="pad" height="10" padding="10,0,20,0"/>
        <Control name="big" height="500"/><Control name="squeezed"/></VerticalLayout>)"));
    EXPECT_EQ(b->Find(L"narrow")->GetPos(), (Rect{7, 0, 107, 10}));
    EXPECT_EQ(b->Find(L"wide")->GetPos().Width(), 600);  // clamped to the available width
    EXPECT_EQ(b->Find(L"pad")->GetPos(), (Rect{10, 20, 580, 30}));
    EXPECT_EQ(b->Find(L"squeezed")->GetPos().Height(), 0);  // never below 0
}

TEST(BoxLayout, PosFixesTheSizeOnly) {
    auto b = Build(Window(R"(<VerticalLayout><Button name="b" pos="0,0,200,0"/><Control name="h" pos="5,5,5,67"/></VerticalLayout>)"));
    Control* button = b->Find(L"b");
    EXPECT_EQ(button->FixedWidth(), 200);
    EXPECT_EQ(button->FixedHeight(), 0);
    EXPECT_EQ(button->GetPos(), (Rect{0, 0, 200, 338}));  // height from the layout
    EXPECT_EQ(b->Find(L"h")->GetPos(), (Rect{0, 338, 600, 400}));
}

TEST(BoxLayout, TabLayoutShowsOnePageAndNotifies) {
    auto b = Build(Window(R"(<TabLayout name="tab" selectedid="1"><Control name="p0"/><Control name="p1"/><Control name="p2"/></TabLayout>)"));
    auto* tab = b->Find(L"tab")->As<TabLayout>();
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->CurSel(), 1);
    EXPECT_FALSE(b->Find(L"p0")->IsVisible());
    EXPECT_TRUE(b->Find(L"p1")->IsVisible());
    EXPECT_TRUE(tab->SelectItem(2));
    EXPECT_TRUE(b->Find(L"p2")->IsVisible());
    EXPECT_FALSE(b->Find(L"p1")->IsVisible());
    ASSERT_EQ(b->host.notes.size(), 1u);
    EXPECT_EQ(b->host.notes[0].type, L"tabselect");
    EXPECT_EQ(b->host.notes[0].wParam, 2);
    EXPECT_EQ(b->host.notes[0].lParam, 1);
    EXPECT_FALSE(tab->SelectItem(3));
    EXPECT_FALSE(tab->SelectItem(-1));
}

TEST(Markup, CaseRulesAndUnknownAttributes) {
    auto b = Build(R"(<WINDOW Size="360,180" CAPTION="0,0,0,30" roundCorner="1,0" ShowShadow="TRUE">
        <font ID="3" Name="微软雅黑" SIZE="14" Underline="True" DEFAULT="tRuE"/>
        <verticallayout><LABEL name="l" Text="x" text="shown" hotborercolor="#FF000000" isstretchfore="false" pushedbordercolor="1"/>
        <Button name="b" visible="True"/><NoSuchElement name="skipped"><Button name="inner"/></NoSuchElement></verticallayout></WINDOW>)");
    const WindowSpec& w = b->doc.window;
    EXPECT_EQ(w.size, (Size{360, 180}));
    EXPECT_EQ(w.caption, (Rect{0, 0, 0, 30}));
    EXPECT_EQ(w.roundCorner, (Size{1, 0}));
    ASSERT_NE(w.Attribute(L"showshadow"), nullptr);
    ASSERT_EQ(w.fonts.size(), 1u);
    EXPECT_EQ(w.fonts[0].id, 3);
    EXPECT_EQ(w.fonts[0].name, L"微软雅黑");
    EXPECT_EQ(w.fonts[0].size, 14);
    EXPECT_TRUE(w.fonts[0].underline);
    EXPECT_TRUE(w.fonts[0].isDefault);
    EXPECT_EQ(w.Font(-1), &w.fonts[0]);
    EXPECT_EQ(w.Font(99), &w.fonts[0]);

    Control* label = b->Find(L"l");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetClass(), L"Label");
    EXPECT_EQ(label->Text(), L"shown");  // "Text" is not a control attribute
    EXPECT_FALSE(b->Find(L"b")->IsVisible());  // control booleans are exact
    EXPECT_EQ(b->Find(L"skipped"), nullptr);
    EXPECT_EQ(b->Find(L"inner"), nullptr);
}

TEST(Markup, TextStylesOfLabelsButtonsAndProgress) {
    auto b = Build(Window(R"(<VerticalLayout>
        <Label name="plain"/><Label name="center" valign="center"/><Label name="top" valign="top" align="right"/>
        <Label name="multi" multiline="true" endellipsis="true" align="center"/>
        <Button name="btn"/><Progress name="prg"/></VerticalLayout>)"));
    auto style = [&](const wchar_t* n) { return b->Find(n)->As<Label>()->TextStyle(); };
    EXPECT_EQ(style(L"plain"), kTextLeft | kTextVCenter | kTextSingleLine);
    EXPECT_EQ(style(L"center"), kTextLeft | kTextVCenter | kTextSingleLine);  // "center" is no vertical alignment
    EXPECT_EQ(style(L"top"), kTextRight | kTextTop | kTextSingleLine);
    EXPECT_EQ(style(L"multi"), kTextCenter | kTextVCenter | kTextWordBreak | kTextEndEllipsis);
    EXPECT_EQ(style(L"btn"), kTextCenter | kTextVCenter | kTextSingleLine);
    EXPECT_EQ(style(L"prg"), kTextCenter | kTextVCenter | kTextSingleLine);
    EXPECT_EQ(b->Find(L"prg")->GetPos().Height(), 12);  // default fixed height
}

TEST(Markup, MalformedDocumentsFailCleanly) {
    for (const char* bad : {"", "<Window", "<Layout size=\"1,1\"><Control/></Layout>", "<Window size=\"1,1\"/>",
                            "<Window><Font id=\"1\"/></Window>", "<Window><Unknown/></Window>"}) {
        LayoutDocument doc;
        std::wstring error;
        EXPECT_FALSE(BuildLayout(bad, nullptr, doc, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::string deep = "<Window>";
    for (int i = 0; i < 100; ++i) deep += "<VerticalLayout>";
    for (int i = 0; i < 100; ++i) deep += "</VerticalLayout>";
    deep += "</Window>";
    LayoutDocument doc;
    EXPECT_FALSE(BuildLayout(deep, nullptr, doc, nullptr));
    // Bad values keep their defaults.
    auto b = Build(Window(R"(<Label name="l" width="wide" bkcolor="#XYZ" padding="1,2" font="x"/>)"));
    auto* l = b->Find(L"l")->As<Label>();
    EXPECT_EQ(l->FixedWidth(), 0);
    EXPECT_EQ(l->BkColor(), 0u);
    EXPECT_EQ(l->Padding(), (Rect{}));
    EXPECT_EQ(l->Font(), -1);
}

TEST(Controls, ButtonStateImagesAndColours) {
    auto b = Build(Window(R"(<Button name="b" normalimage="n" hotimage="h" pushedimage="p" focusedimage="f"
        disabledimage="d" textcolor="#FF000001" hottextcolor="#FF000002" pushedtextcolor="#FF000003"
        focusedtextcolor="#FF000004" disabledtextcolor="#FF000005" bkcolor="#FF0000AA" hotbkcolor="#FF0000BB"/>)"));
    auto* btn = b->Find(L"b")->As<Button>();
    struct Case { bool enabled, pushed, hot, focused; const wchar_t* image; Color text, bk; } cases[] = {
        {true, false, false, false, L"n", 0xFF000001, 0xFF0000AA}, {true, false, true, false, L"h", 0xFF000002, 0xFF0000BB},
        {true, true, true, false, L"p", 0xFF000003, 0xFF0000AA},   {true, false, false, true, L"f", 0xFF000004, 0xFF0000AA},
        {false, true, true, true, L"d", 0xFF000005, 0xFF0000AA},
    };
    for (const auto& c : cases) {
        btn->SetEnabled(c.enabled);
        btn->SetPushed(c.pushed);
        btn->SetHot(c.hot);
        btn->SetFocused(c.focused);
        EXPECT_EQ(btn->CurrentImage(), c.image);
        EXPECT_EQ(btn->CurrentTextColor(), c.text);
        EXPECT_EQ(btn->CurrentBkColor(), c.bk);
    }
    // A state without its own image falls back to the normal image.
    auto b2 = Build(Window(R"(<Button name="b" normalimage="n"/>)"));
    auto* plain = b2->Find(L"b")->As<Button>();
    plain->SetHot(true);
    EXPECT_EQ(plain->CurrentImage(), L"n");
}

TEST(Controls, CheckBoxClickTogglesAndNotifies) {
    auto b = Build(Window(R"(<CheckBox name="c" selected="true" normalimage="off" selectedimage="on" selectedhotimage="onhot"/>)"));
    auto* cb = b->Find(L"c")->As<CheckBox>();
    EXPECT_TRUE(cb->IsChecked());
    EXPECT_EQ(cb->CurrentImage(), L"on");
    cb->SetHot(true);
    EXPECT_EQ(cb->CurrentImage(), L"onhot");
    cb->Activate();
    EXPECT_FALSE(cb->IsChecked());
    EXPECT_EQ(cb->CurrentImage(), L"off");
    EXPECT_EQ(b->host.Types(), (std::vector<std::wstring>{L"click", L"selectchanged"}));
    cb->SetCheck(false);  // no change, no notification
    EXPECT_EQ(b->host.notes.size(), 2u);
    cb->SetEnabled(false);
    cb->Activate();
    EXPECT_EQ(b->host.notes.size(), 2u);
}

TEST(Controls, ProgressGeometry) {
    auto b = Build(Window(R"(<VerticalLayout><Progress name="h" width="440" height="8" value="70"/>
        <Progress name="v" width="10" height="200" hor="false" min="10" max="10" value="50"/></VerticalLayout>)"));
    auto* h = b->Find(L"h")->As<Progress>();
    EXPECT_EQ(h->ForeDest(), (Rect{0, 0, 308, 8}));  // 70 % of 440
    h->SetValue(150);
    EXPECT_EQ(h->ForeDest(), (Rect{0, 0, 440, 8}));
    h->SetValue(-5);
    EXPECT_EQ(h->ForeDest(), (Rect{0, 0, 0, 8}));
    auto* v = b->Find(L"v")->As<Progress>();
    EXPECT_EQ(v->Max(), 11);  // raised above min
    EXPECT_EQ(v->Value(), 11);
    EXPECT_EQ(v->ForeDest(), (Rect{0, 0, 10, 200}));
    v->SetValue(10);
    EXPECT_EQ(v->ForeDest(), (Rect{0, 200, 10, 200}));
}

TEST(Controls, ComboSelectsItems) {
    auto b = Build(Window(R"(<Combo name="c" items="English|简体中文|繁體中文"/>)"));
    auto* combo = b->Find(L"c")->As<Combo>();
    EXPECT_EQ(combo->ItemCount(), 3u);
    EXPECT_TRUE(combo->SelectItem(1));
    EXPECT_EQ(combo->Text(), L"简体中文");
    combo->Activate();
    EXPECT_EQ(combo->CurSel(), 2);
    EXPECT_FALSE(combo->SelectItem(3));
    EXPECT_EQ(b->host.Types(), (std::vector<std::wstring>{L"itemselect", L"itemselect"}));
}

// ---------------------------------------------------------------- frame sequences

namespace {
std::vector<int> Frames(SequenceAnimation anim, int ticks, bool* stopped = nullptr) {
    std::vector<int> out;
    for (int i = 0; i < ticks; ++i) {
        auto s = anim.Advance();
        if (s.draw) out.push_back(s.frame);
        if (s.stopTimer) {
            if (stopped) *stopped = true;
            break;
        }
    }
    return out;
}
std::vector<int> Range(int from, int to) {  // inclusive, either direction
    std::vector<int> v;
    for (int i = from;; i += from <= to ? 1 : -1) {
        v.push_back(i);
        if (i == to) break;
    }
    return v;
}
std::vector<int> Cat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> v;
    for (auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}
}  // namespace

TEST(Sequence, TheFourSequencesOf26Frames) {
    struct Case { bool round, loop; int ticks; std::vector<int> frames; bool stops; } cases[] = {
        {false, true, 60, Cat({Range(0, 25), Range(0, 25), Range(0, 7)}), false},
        {false, false, 60, Range(0, 25), true},
        {true, true, 80, Cat({Range(0, 25), Range(24, 1), Range(0, 25), Range(24, 21)}), false},
        {true, false, 80, Cat({Range(0, 25), Range(24, 1)}), true},
    };
    for (const auto& c : cases) {
        SequenceAnimation a;
        a.pattern = L"f%.3d.png";
        a.count = 26;
        a.round = c.round;
        a.loop = c.loop;
        bool stopped = false;
        EXPECT_EQ(Frames(a, c.ticks, &stopped), c.frames) << "round " << c.round << " loop " << c.loop;
        EXPECT_EQ(stopped, c.stops);
    }
}

TEST(Sequence, CountZeroShowsFrameZeroAndEmptyPatternNothing) {
    SequenceAnimation a;
    a.pattern = L"f%d.png";
    EXPECT_EQ(Frames(a, 4), (std::vector<int>{0, 0, 0, 0}));
    SequenceAnimation none;
    none.count = 26;
    EXPECT_TRUE(Frames(none, 4).empty());
}

TEST(Sequence, AttributesAndFrameNames) {
    auto b = Build(Window(R"(<HorizontalLayout>
        <SequenceLabel name="l" sequencebkimage="res\mainWnd\installBtnAnimate\%.3d.png" SequenceCount="26"
           sequencespan="30" sequenceround="false" autostart="true" sequenceloop="False"/>
        <sequencebutton name="b" SequenceBkImage="ignored" sequenceloop="false"/></HorizontalLayout>)"));
    auto* label = b->Find(L"l");
    ASSERT_NE(label->As<CSequenceLabelUI>(), nullptr);
    ASSERT_NE(label->As<Label>(), nullptr);
    const auto& la = label->As<CSequenceLabelUI>()->Animation();
    EXPECT_EQ(la.count, 26);
    EXPECT_EQ(la.span, 30);
    EXPECT_FALSE(la.round);
    EXPECT_TRUE(la.loop);  // "False" is not "false"
    EXPECT_TRUE(la.autostart);
    EXPECT_EQ(la.FrameName(7), L"res\\mainWnd\\installBtnAnimate\\007.png");
    EXPECT_TRUE(b->host.timers.count({label, SequenceAnimation::kTimerId}));  // autostart

    auto* button = b->Find(L"b")->As<CSequenceButtonUI>();
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->Animation().pattern.empty());  // the pattern's name is exact
    EXPECT_TRUE(button->Animation().round);            // a button plays ping-pong by default
    EXPECT_EQ(button->Animation().span, 60);
    EXPECT_FALSE(button->Animation().loop);

    // Ticks change the background and raise "timer"; Start restarts at frame 0.
    for (int i = 0; i < 3; ++i) label->OnTimer(SequenceAnimation::kTimerId);
    EXPECT_EQ(label->BkImage(), L"res\\mainWnd\\installBtnAnimate\\002.png");
    label->As<CSequenceLabelUI>()->Start();
    label->OnTimer(SequenceAnimation::kTimerId);
    EXPECT_EQ(label->BkImage(), L"res\\mainWnd\\installBtnAnimate\\000.png");
    EXPECT_EQ(b->host.notes.back().type, L"timer");
    EXPECT_EQ(b->host.notes.back().wParam, static_cast<intptr_t>(SequenceAnimation::kTimerId));
}

TEST(Sequence, HostilePatternsStayBounded) {
    SequenceAnimation a;
    a.pattern = L"%s%n%d%d%";
    EXPECT_EQ(a.FrameName(5), L"%s%n5%d%");
    struct Case { const wchar_t* pattern; int frame; const wchar_t* name; } cases[] = {
        {L"%.3d.png", 7, L"007.png"}, {L"%03d", -4, L"-04"}, {L"%-4d|", 12, L"12  |"}, {L"%+d%%", 3, L"+3%"},
        {L"%5.2d", 1, L"   01"}, {L"%i", 25, L"25"},
    };
    for (const auto& c : cases) {
        a.pattern = c.pattern;
        EXPECT_EQ(a.FrameName(c.frame), c.name) << c.pattern;
    }
    a.pattern = L"%.9999999999d";
    EXPECT_TRUE(a.FrameName(1).empty());
    a.pattern = std::wstring(400, L'x') + L"%d";
    EXPECT_TRUE(a.FrameName(1).empty());  // longer than 260 characters
}

TEST(Shadow, AttributesWithRangeChecks) {
    auto read = [](const std::string& attrs, ShadowParams& p) {
        LayoutDocument doc;
        EXPECT_TRUE(BuildLayout("<Window " + attrs + "><Control/></Window>", nullptr, doc, nullptr));
        return ReadShadowAttributes(doc.window, p);
    };
    ShadowParams p;
    EXPECT_TRUE(read(R"(showshadow="True" shadowsize="6" shadowsharpness="10" shadowdarkness="20" shadowposition="1,1" shadowcolor="#26003B76")", p));
    EXPECT_EQ(p.size, 6);
    EXPECT_EQ(p.sharpness, 10);
    EXPECT_EQ(p.darkness, 20);
    EXPECT_EQ(p.xOffset, 1);
    EXPECT_EQ(p.colorRef, 0x003B76u);  // red 0x76, green 0x3B, blue 0x00
    // Out of range: refused, the previous values stay.
    EXPECT_TRUE(read(R"(showshadow="true" shadowsize="25" shadowsharpness="21" shadowdarkness="256" shadowposition="1,-21")", p));
    EXPECT_EQ(p.size, 6);
    EXPECT_EQ(p.sharpness, 10);
    EXPECT_EQ(p.darkness, 20);
    EXPECT_EQ(p.yOffset, 1);
    EXPECT_TRUE(p.SetSize(-20));
    EXPECT_FALSE(p.SetSize(21));
    ShadowParams none;
    EXPECT_FALSE(read(R"(showshadow="yes" shadowsize="9")", none));
    EXPECT_EQ(none.size, 0);  // nothing read without a shadow
}
