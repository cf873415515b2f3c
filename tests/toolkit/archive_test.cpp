#include <gtest/gtest.h>

#include <cstdlib>

#include "../common/temp_dir.h"
#include "fake_host.h"
#include "tests/common/host_path.h"
#include "toolkit/archive.h"
#include "toolkit/markup.h"
#include "ui/language.h"
#include "ui/sequence_controls.h"
#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/text.h"

using namespace toolkit;

namespace {

std::wstring BuiltArchivePath() { return testing_support::HostPath(VELQOR_SKIN_ARCHIVE); }

std::shared_ptr<SkinArchive> OpenBuiltSkin() {
    std::string bytes;
    if (!Utils::ReadFileBytes(BuiltArchivePath(), bytes)) return nullptr;
    std::wstring error;
    auto archive = SkinArchive::Open(std::move(bytes), &error);
    EXPECT_NE(archive, nullptr) << Utils::WideToUtf8(error);
    return std::shared_ptr<SkinArchive>(std::move(archive));
}

struct Dialog {
    const wchar_t* file;
    Size size;
    int captionBottom;
    std::vector<const wchar_t*> names;
};

const Dialog kLayouts[] = {
    {L"MainWnd.xml", {600, 400}, 35,
     {L"winCtn", L"titleTabLt", L"mainTabLt", L"defaultInstallBtn", L"treatyCb", L"treatyBtn", L"tipLbl",
      L"customeBtn", L"installDirEdit", L"chDirBtn", L"createDSCb", L"createQSCb", L"customeInstallBtn",
      L"backBtn", L"progressAnLb", L"progressLb", L"installPrg", L"openProduceBtn", L"titleGrpCtn", L"minbtn",
      L"closebtn"}},
    {L"MessageBox1Wnd.xml", {360, 180}, 30, {L"textLbl", L"captionLbl", L"closebtn"}},
    {L"messagebox2wnd.xml", {360, 180}, 30, {L"textLbl", L"captionLbl", L"closebtn"}},
    {L"ExitTipWnd.xml", {360, 180}, 30, {L"okBtn", L"cancelBtn", L"closebtn"}},
    {L"InstalledPathTipWnd.xml", {400, 180}, 30, {L"okBtn", L"cancelBtn", L"closebtn"}},
    {L"NetworkTipWnd.xml", {360, 180}, 30, {L"okBtn", L"cancelBtn", L"closebtn"}},
};

#ifndef _WIN32
// Packs files into a 7z archive with the 7-Zip command-line tool (native only).
std::shared_ptr<SkinArchive> PackArchive(const testing_support::TempDir& dir,
                                         const std::vector<std::pair<std::string, std::string>>& files) {
    std::string list;
    for (auto& [name, content] : files) {
        EXPECT_TRUE(Utils::WriteFileBytes(dir.File(Utils::Utf8ToWide(name)), content));
        list += " '" + name + "'";
    }
    const std::string folder = Utils::NativePath(dir.Path());
    const std::string cmd = "cd '" + folder + "' && rm -f pack.7z && 7zz a -bd -bso0 -t7z -m0=lzma2 -ms=on pack.7z" + list;
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::string bytes;
    EXPECT_TRUE(Utils::ReadFileBytes(dir.File(L"pack.7z"), bytes));
    return std::shared_ptr<SkinArchive>(SkinArchive::Open(std::move(bytes)));
}

std::string LanguageFile(size_t size) {
    std::string json = R"([{"id":104,"en-US":"Not enough disk space","zh-CN":"磁盘空间不足","zh-TW":"磁碟空間不足"},)"
                       R"({"id":"x","en-US":"skipped"},{"id":105,"en-US":7}])";
    json.resize(size, ' ');
    return json;
}
#endif

class ArchiveState : public ::testing::Test {
protected:
    void TearDown() override {
        SetSkinArchive(nullptr);
        ClearLanguageTexts();
    }
};

}  // namespace

TEST(SkinArchiveTest, HoldsTheSixLayoutsTheLanguageFileAndSixtyOneImages) {
    auto archive = OpenBuiltSkin();
    ASSERT_NE(archive, nullptr);
    auto names = archive->Names();
    EXPECT_EQ(names.size(), 68u);
    EXPECT_GT(archive->FileSize(L"language.json"), 0);
    int images = 0;
    for (auto& n : names) images += n.size() > 4 && n.substr(n.size() - 4) == L".png";
    EXPECT_EQ(images, 61);
    for (auto* frame : {L"res\\mainWnd\\installBtnAnimate\\000.png", L"res\\mainWnd\\installBtnAnimate\\025.png",
                        L"res\\mainWnd\\chDirBt3.png", L"res\\MessageBoxWnd\\icoNetwork.png"})
        EXPECT_GT(archive->FileSize(frame), 0) << Utils::WideToUtf8(frame);
    for (auto* absent : {L"res\\common\\minbtn4.png", L"res\\mainWnd\\installPrg3.png"})
        EXPECT_EQ(archive->FileSize(absent), -1);
}

TEST(SkinArchiveTest, NamesIgnoreCaseAndSlashDirection) {
    auto archive = OpenBuiltSkin();
    ASSERT_NE(archive, nullptr);
    std::string a, b, c;
    ASSERT_TRUE(archive->ReadFile(L"res\\mainWnd\\chDirBtn1.png", a));
    ASSERT_TRUE(archive->ReadFile(L"RES/MAINWND/chdirbtn1.PNG", b));
    ASSERT_TRUE(archive->ReadFile(L"res/mainWnd\\ChDirBtn1.png", c));
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
    EXPECT_EQ(a.substr(1, 3), "PNG");
    EXPECT_FALSE(archive->ReadFile(L"res\\mainWnd\\chDirBtn1.png", a, 10));  // larger than allowed
    EXPECT_FALSE(archive->ReadFile(L"nothing.png", a));
}

TEST(SkinArchiveTest, EveryLayoutBuildsWithItsGeometryAndControls) {
    auto archive = OpenBuiltSkin();
    ASSERT_NE(archive, nullptr);
    for (const auto& d : kLayouts) {
        SCOPED_TRACE(Utils::WideToUtf8(d.file));
        std::string markup;
        ASSERT_TRUE(archive->ReadFile(d.file, markup));
        LayoutDocument doc;
        std::wstring error;
        ASSERT_TRUE(BuildLayout(markup, CreateSkinControl, doc, &error)) << Utils::WideToUtf8(error);
        EXPECT_EQ(doc.window.size, d.size);
        EXPECT_EQ(doc.window.caption.bottom, d.captionBottom);
        ASSERT_NE(doc.window.Attribute(L"shadowsize"), nullptr);
        EXPECT_EQ(*doc.window.Attribute(L"shadowsize"), L"6");
        ASSERT_FALSE(doc.window.fonts.empty());
        EXPECT_TRUE(doc.window.fonts[0].isDefault);
        for (auto& f : doc.window.fonts) EXPECT_EQ(f.name, L"微软雅黑");
        for (auto* name : d.names) EXPECT_NE(doc.root->FindByName(name), nullptr) << Utils::WideToUtf8(name);
    }
}

TEST(SkinArchiveTest, MainLayoutPlacesItsControls) {
    auto archive = OpenBuiltSkin();
    ASSERT_NE(archive, nullptr);
    std::string markup;
    ASSERT_TRUE(archive->ReadFile(L"MainWnd.xml", markup));
    FakeHost host;  // outlives the tree
    LayoutDocument doc;
    ASSERT_TRUE(BuildLayout(markup, CreateSkinControl, doc, nullptr));
    doc.root->SetHost(&host, nullptr);
    for (auto* tab : {L"mainTabLt", L"titleTabLt"}) doc.root->FindByName(tab)->Init();
    doc.root->SetPos(Rect{0, 0, 600, 400});
    EXPECT_EQ(doc.root->FindByName(L"defaultInstallBtn")->GetPos().left, 190);  // centred: (600 - 220) / 2
    EXPECT_EQ(doc.root->FindByName(L"closebtn")->GetPos().right, 592);
    EXPECT_FALSE(doc.root->FindByName(L"tipLbl")->IsVisible());
    auto* anim = doc.root->FindByName(L"progressAnLb")->As<CSequenceLabelUI>();
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->Animation().count, 26);
    auto* prg = doc.root->FindByName(L"installPrg")->As<Progress>();
    ASSERT_NE(prg, nullptr);
    EXPECT_EQ(prg->Max(), 100);
}

TEST(SkinArchiveTest, MalformedArchivesAreRefused) {
    for (std::string bytes : {std::string(), std::string("7z\xBC\xAF\x27\x1C garbage", 14), std::string(1000, '\0')}) {
        std::wstring error;
        EXPECT_EQ(SkinArchive::Open(bytes, &error), nullptr);
        EXPECT_FALSE(error.empty());
    }
}

TEST_F(ArchiveState, LanguageTableAndTheShippedLanguageFile) {
    EXPECT_EQ(LanguageCodeAt(0), L"en-US");
    EXPECT_EQ(LanguageCodeAt(2), L"zh-TW");
    EXPECT_EQ(LanguageCodeAt(3), L"");
    EXPECT_EQ(LanguageCodeAt(-1), L"");
    SetSkinArchive(OpenBuiltSkin());
    for (int i : {0, 1, 2}) EXPECT_EQ(LoadLanguage(i, L""), i);
    EXPECT_EQ(LoadLanguage(7, L""), 0);
    EXPECT_EQ(LoadLanguage(1, L"zh-TW"), 2);
    std::wstring text;
    ASSERT_TRUE(GetLanguageText(L"104", text));
    EXPECT_EQ(text, L"安裝目錄所在磁碟空間不足1GB，請清理磁碟或更換安裝目錄");
}

// Every text id a layout names has a text in each language; the Chinese
// (PRC) ones are the layouts' own texts, the English ones hold no Chinese.
TEST_F(ArchiveState, EveryLayoutTextHasItsTranslations) {
    auto archive = OpenBuiltSkin();
    ASSERT_NE(archive, nullptr);
    SetSkinArchive(archive);
    std::vector<std::pair<std::wstring, std::wstring>> ids;  // id, layout text
    for (const wchar_t* layout : {L"mainWnd.xml", L"exitTipWnd.xml", L"InstalledPathTipWnd.xml", L"MessageBox1Wnd.xml",
                                  L"MessageBox2Wnd.xml", L"NetworkTipWnd.xml"}) {
        std::string bytes;
        ASSERT_TRUE(archive->ReadFile(layout, bytes));
        const std::wstring markup = Utils::Utf8ToWide(bytes);
        for (const wchar_t* attr : {L"text", L"accname"}) {
            const std::wstring key = std::wstring(L" ") + attr + L"=\"";
            for (size_t at = markup.find(key); at != std::wstring::npos; at = markup.find(key, at + 1)) {
                const size_t begin = at + key.size(), end = markup.find(L'"', begin);
                const std::wstring idKey = std::wstring(L"\" ") + attr + L"id=\"";
                if (markup.compare(end, idKey.size(), idKey) != 0) continue;
                const size_t idBegin = end + idKey.size();
                ids.emplace_back(markup.substr(idBegin, markup.find(L'"', idBegin) - idBegin), markup.substr(begin, end - begin));
            }
        }
    }
    EXPECT_GT(ids.size(), 35u);
    for (int language : {0, 1, 2}) {
        ClearLanguageTexts();
        ASSERT_EQ(LoadLanguage(language, L""), language);
        for (const auto& [id, layoutText] : ids) {
            std::wstring text;
            ASSERT_TRUE(GetLanguageText(id, text)) << Utils::WideToUtf8(id) << " in " << language;
            EXPECT_FALSE(text.empty());
            if (language == 1) {
                EXPECT_EQ(text, layoutText) << Utils::WideToUtf8(id);
            }
            if (language == 0) {
                for (wchar_t ch : text) EXPECT_LT(static_cast<unsigned>(ch), 0x2E80u) << Utils::WideToUtf8(id);
            }
        }
    }
}

#ifndef _WIN32
TEST_F(ArchiveState, LanguageFileSizeLimit) {
    testing_support::TempDir dir;
    struct Case { size_t size; int expected; bool hasText; } cases[] = {
        {kMaxLanguageFileSize, 1, true}, {kMaxLanguageFileSize + 1, 0, false}};
    for (const auto& c : cases) {
        ClearLanguageTexts();
        SetSkinArchive(PackArchive(dir, {{"language.json", LanguageFile(c.size)}}));
        ASSERT_NE(GetSkinArchive(), nullptr);
        EXPECT_EQ(LoadLanguage(0, L"zh-CN"), c.expected) << c.size;
        std::wstring text;
        EXPECT_EQ(GetLanguageText(L"104", text), c.hasText) << c.size;
        if (c.hasText) {
            EXPECT_EQ(text, L"磁盘空间不足");
        }
        EXPECT_FALSE(GetLanguageText(L"105", text));  // a text that is not a string is skipped
    }
}

TEST_F(ArchiveState, LanguageChoiceAndInstalledLanguage) {
    testing_support::TempDir dir;
    SetSkinArchive(PackArchive(dir, {{"language.json", LanguageFile(300)}}));
    std::wstring text;
    EXPECT_EQ(LoadLanguage(5, L""), 0);  // out of the table
    ASSERT_TRUE(GetLanguageText(L"104", text));
    EXPECT_EQ(text, L"Not enough disk space");
    EXPECT_EQ(LoadLanguage(2, L"xx-XX"), 2);  // an unknown code keeps the index
    EXPECT_EQ(LoadLanguage(0, L"zh-TW"), 2);
    ASSERT_TRUE(GetLanguageText(L"104", text));
    EXPECT_EQ(text, L"磁碟空間不足");

    testing_support::TempDir installed;
    EXPECT_EQ(LoadInstalledLanguage(installed.Path()), 0);  // no config.ini
    ASSERT_TRUE(Utils::IniWriteString(installed.File(L"config.ini"), L"Install", L"Language", L"zh-TW"));
    EXPECT_EQ(LoadInstalledLanguage(installed.Path()), 2);

    SetSkinArchive(PackArchive(dir, {{"language.json", "[{broken"}}));
    EXPECT_EQ(LoadLanguage(1, L""), 1);  // unparsable: the index, no texts added
    testing_support::TempDir other;
    SetSkinArchive(PackArchive(other, {{"other.txt", "x"}}));
    EXPECT_EQ(LoadInstalledLanguage(installed.Path()), 0);  // no language file: 0 whatever the file says
}
#endif
