// Real skinned windows under Wine: the six layouts from the embedded skin
// archive, dialog results through real clicks and keys (xdotool, see
// gui_driver.sh), the shadow's range checks, and the screenshots of
// docs/screenshots (when VELQOR_SHOT_DIR names a folder).
#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/host_path.h"
#include "toolkit/accessible_win.h"
#include "toolkit/render_win.h"
#include "toolkit/window_win.h"
#include "config/launch_config.h"
#include "install/install_records.h"
#include "ui/language.h"
#include "ui/main_wnd_win.h"
#include "ui/message_box_win.h"
#include "ui/skin_frame_win.h"
#include "utils/fs.h"
#include "utils/text.h"

namespace {

// The installer declares per-monitor DPI awareness in its manifest; this
// program has none, so it asks at start (before any window exists).
const bool g_dpiAware = [] {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    using Context = BOOL(WINAPI*)(HANDLE);
    if (auto set = reinterpret_cast<Context>(reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext"))))
        if (set(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4))))  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
            return true;
    return SetProcessDPIAware() != FALSE;
}();

bool HaveDisplay() {
    wchar_t buf[64];
    return GetEnvironmentVariableW(L"DISPLAY", buf, 64) > 0;
}

std::wstring EnvPath(const wchar_t* name) {
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(name, buf, 1024);
    if (n == 0 || n >= 1024) return L"";
    return testing_support::HostPath(std::wstring(buf, n));
}

#define REQUIRE_DISPLAY() \
    if (!HaveDisplay()) GTEST_SKIP() << "no display (DISPLAY is unset)"

// Dispatches the thread's messages for up to `ms` milliseconds or until `done`.
void PumpFor(int ms, const std::function<bool()>& done = nullptr) {
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < static_cast<DWORD>(ms)) {
        if (done && done()) return;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// Talks to gui_driver.sh: one request file, then wait (dispatching messages) for its answer.
class Driver {
public:
    Driver() : m_dir(EnvPath(L"VELQOR_GUI_DRIVER")) {
        // Requests answered before (by this program or by a child process of
        // it that used the same driver) are skipped.
        while (!m_dir.empty() && Utils::FileExists(m_dir + L"\\done-" + std::to_wstring(m_n + 1))) ++m_n;
    }
    bool Available() const { return !m_dir.empty(); }
    bool Request(const std::string& line) {
        ++m_n;
        const std::wstring req = m_dir + L"\\req-" + std::to_wstring(m_n) + L".txt";
        const std::wstring tmp = req + L".tmp";
        if (!Utils::WriteFileBytes(tmp, line + "\n") || !MoveFileExW(tmp.c_str(), req.c_str(), MOVEFILE_REPLACE_EXISTING))
            return false;
        const std::wstring done = m_dir + L"\\done-" + std::to_wstring(m_n);
        PumpFor(20000, [&] { return Utils::FileExists(done); });
        // Let the input that was just sent arrive and be handled.
        PumpFor(300);
        return Utils::FileExists(done);
    }
    bool ClickControl(HWND hwnd, const wchar_t* name) {
        toolkit::WindowImpl* w = toolkit::WindowImpl::FromHandle(hwnd);
        toolkit::Control* c = w ? w->FindControl(name) : nullptr;
        if (!c) return false;
        const toolkit::Rect& r = c->GetPos();
        POINT pt{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(hwnd, &pt);
        return Request("click " + std::to_string(pt.x) + " " + std::to_string(pt.y));
    }
    bool Shot(HWND hwnd, const std::wstring& file, int margin) {
        RECT rc;
        GetWindowRect(hwnd, &rc);
        return Request("shot " + Utils::WideToUtf8(file) + " " +
                       std::to_string(rc.left - margin) + " " + std::to_string(rc.top - margin) + " " +
                       std::to_string(rc.right - rc.left + 2 * margin) + " " +
                       std::to_string(rc.bottom - rc.top + 2 * margin));
    }

private:
    std::wstring m_dir;
    // gui_driver.sh numbers the requests of the whole program and keeps the
    // answered ones: every Driver must continue the same count, or a later
    // one finds its "done" files already there and its input is never sent.
    static inline int m_n = 0;
};

// Runs `script` once from inside the next modal loop (a thread timer).
std::function<void()> g_script;
void CALLBACK RunScript(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto script = std::move(g_script);
    g_script = nullptr;
    if (script) script();
}
void RunInModalLoop(std::function<void()> script) {
    g_script = std::move(script);
    SetTimer(nullptr, 0, 50, &RunScript);
}

// The dialog's window, once it exists and is visible.
HWND WaitForWindow(const wchar_t* className) {
    HWND hwnd = nullptr;
    PumpFor(10000, [&] {
        hwnd = FindWindowW(className, nullptr);
        return hwnd && IsWindowVisible(hwnd);
    });
    if (hwnd) {
        UpdateWindow(hwnd);
        PumpFor(200);
    }
    return hwnd;
}

// Unix form of a Windows path under Z: (for the driver's screenshots).
std::string UnixPath(const std::wstring& path) {
    std::wstring p = path.size() > 2 && path[1] == L':' ? path.substr(2) : path;
    for (auto& c : p)
        if (c == L'\\') c = L'/';
    return Utils::WideToUtf8(p);
}

class Frame : public CSkinFrame {
public:
    using CSkinFrame::CSkinFrame;
    std::function<void(UINT)> onMessage;
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override {
        if (onMessage && msg >= WM_APP && msg < WM_APP + 0x100) onMessage(msg);
        return CSkinFrame::HandleMessage(msg, wp, lp, handled);
    }
};

struct LayoutCase {
    const wchar_t* file;
    const wchar_t* className;
    int width, height;
    std::vector<const wchar_t*> names;
};

const LayoutCase kLayouts[] = {
    {L"MainWnd.xml", L"MainWnd", 600, 400, {L"mainTabLt", L"titleTabLt", L"defaultInstallBtn", L"installPrg", L"progressAnLb", L"closebtn"}},
    {L"MessageBox1Wnd.xml", L"MessageBox1Wnd", 360, 180, {L"textLbl", L"captionLbl", L"closebtn"}},
    {L"MessageBox2Wnd.xml", L"MessageBox2Wnd", 360, 180, {L"textLbl", L"captionLbl", L"closebtn"}},
    {L"ExitTipWnd.xml", L"ExitTipWnd", 360, 180, {L"okBtn", L"cancelBtn", L"closebtn"}},
    {L"InstalledPathTipWnd.xml", L"InstalledPathTipWnd", 400, 180, {L"okBtn", L"cancelBtn", L"closebtn"}},
    {L"NetworkTipWnd.xml", L"NetworkTipWnd", 360, 180, {L"okBtn", L"cancelBtn", L"closebtn"}},
};

}  // namespace

TEST(SkinWindows, TheSkinReadOnAWorkerIsTheOneTheWindowsTake) {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    const auto before = toolkit::GetSkinArchive();
    for (int preloaded : {147, 999}) {  // the skin; a resource that does not exist
        SCOPED_TRACE(preloaded);
        toolkit::SetSkinArchive(nullptr);
        toolkit::PreloadSkinResource(module, preloaded);
        toolkit::PreloadSkinResource(module, preloaded);  // one worker at a time: no second one
        // A preload of another resource is not taken: the skin is then read at once.
        ASSERT_TRUE(toolkit::LoadSkinResource(module, 147));
        const auto archive = toolkit::GetSkinArchive();
        ASSERT_NE(archive, nullptr);
        std::string markup;
        EXPECT_TRUE(archive->ReadFile(L"MainWnd.xml", markup));
        EXPECT_NE(markup.find("<Window"), std::string::npos);
    }
    if (before) toolkit::SetSkinArchive(before);
}

TEST(SkinWindows, EveryLayoutBuildsFromTheEmbeddedArchive) {
    REQUIRE_DISPLAY();
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(toolkit::LoadSkinResource(GetModuleHandleW(nullptr), 147));
    const auto t1 = std::chrono::steady_clock::now();
    for (const auto& c : kLayouts) {
        SCOPED_TRACE(Utils::WideToUtf8(c.file));
        Frame frame(c.file);
        EXPECT_EQ(frame.GetWindowClassName(), c.className);
        HWND hwnd = frame.Create(nullptr, L"layout", WS_POPUP, 0);
        ASSERT_NE(hwnd, nullptr);
        if (c.width == 600) {
            const auto t2 = std::chrono::steady_clock::now();
            std::printf("[ measure ] skin archive opened in %.2f ms, main layout built in %.2f ms\n",
                        std::chrono::duration<double, std::milli>(t1 - t0).count(),
                        std::chrono::duration<double, std::milli>(t2 - t1).count());
        }
        ASSERT_TRUE(frame.HasLayout());
        RECT rc;
        GetClientRect(hwnd, &rc);
        EXPECT_EQ(rc.right, c.width);
        EXPECT_EQ(rc.bottom, c.height);
        EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CAPTION, 0);
        for (auto* name : c.names) EXPECT_NE(frame.FindControl(name), nullptr) << Utils::WideToUtf8(name);
        // Draw every page once so that every image is decoded.
        if (auto* tab = frame.FindControlAs<toolkit::TabLayout>(L"mainTabLt")) {
            ShowWindow(hwnd, SW_SHOWNOACTIVATE);
            for (int page = 0; page < 4; ++page) {
                tab->SelectItem(page);
                UpdateWindow(hwnd);
            }
        }
        DestroyWindow(hwnd);
    }
    std::printf("[ measure ] decoded images hold %zu bytes\n", toolkit::DecodedImageBytes());
}

// The main window with no installed copy registered (an installed copy would
// open its tip dialog inside creation).
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveDisplay()) GTEST_SKIP() << "no display (DISPLAY is unset)";
        RegDeleteTreeW(HKEY_CURRENT_USER, install_records::kRegistryKey);
        hwnd = wnd.Create(nullptr, L"Velqor", 0x10CF0000, 0);
        ASSERT_NE(hwnd, nullptr);
        PumpFor(100);
    }
    void TearDown() override {
        if (hwnd && IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    template <class T = toolkit::Control> T* Find(const wchar_t* name) {
        T* c = wnd.FindControlAs<T>(name);
        EXPECT_NE(c, nullptr) << Utils::WideToUtf8(name);
        return c;
    }
    void SelectPage(int page) { Find<toolkit::TabLayout>(L"mainTabLt")->SelectItem(page); }
    void Click(const wchar_t* name) { wnd.RaiseNotify(Find(name), L"click"); }

    CMainWnd wnd;
    HWND hwnd = nullptr;
};

TEST_F(MainWindow, TermsUncheckedShowTheTipAndStartNothing) {
    auto* terms = Find<toolkit::CheckBox>(L"treatyCb");
    auto* link = Find<toolkit::CheckBox>(L"treatyBtn");
    terms->SetCheck(false);
    EXPECT_FALSE(link->IsChecked()) << "the link's mark follows the terms box";
    EXPECT_FALSE(Find(L"customeBtn")->IsEnabled());
    Click(L"defaultInstallBtn");
    EXPECT_TRUE(Find(L"tipLbl")->IsVisible());
    EXPECT_EQ(wnd.CurrentPage(), 0);
    EXPECT_TRUE(wnd.InstallDir().empty()) << "no installation was started";

    link->SetCheck(true);  // a click on the link does not change its mark
    EXPECT_FALSE(link->IsChecked());
    terms->SetCheck(true);
    EXPECT_TRUE(link->IsChecked());
    EXPECT_TRUE(Find(L"customeBtn")->IsEnabled());
    EXPECT_FALSE(Find(L"tipLbl")->IsVisible());
}

TEST_F(MainWindow, PagesDecideTitleButtonsAndWhetherTheWindowCloses) {
    Click(L"customeBtn");
    EXPECT_EQ(wnd.CurrentPage(), 1);
    EXPECT_TRUE(Find(L"backBtn")->IsVisible());
    Click(L"backBtn");
    EXPECT_EQ(wnd.CurrentPage(), 0);
    EXPECT_FALSE(Find(L"backBtn")->IsVisible());

    SelectPage(2);
    EXPECT_FALSE(Find(L"titleGrpCtn")->IsVisible()) << "no close button while installing";
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    PumpFor(300);
    EXPECT_TRUE(IsWindow(hwnd)) << "a close request on the installing page is ignored";

    SelectPage(3);
    EXPECT_TRUE(Find(L"titleGrpCtn")->IsVisible());
    Click(L"closebtn");  // on the finished page it closes without asking
    PumpFor(2000, [&] { return !IsWindow(hwnd); });
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MainWindow, APoorConnectionShowsItsTipAndStartsNothing) {
    Click(L"customeBtn");
    Find(L"customeInstallBtn")->SetEnabled(false);  // as during the checks
    std::wstring tipText;
    RunInModalLoop([&] {
        HWND dlg = WaitForWindow(L"MessageBox2Wnd");
        if (!dlg) return;
        if (auto* w = toolkit::WindowImpl::FromHandle(dlg))
            if (auto* text = w->FindControl(L"textLbl")) tipText = text->Text();
        PostMessageW(dlg, WM_CLOSE, 0, 0);
    });
    wnd.RaiseNotify(wnd.Root(), L"checknet", 2 << 16);  // connected, but not to the internet
    EXPECT_EQ(tipText, L"当前网络环境较差，请在网络通畅时进行安装");
    EXPECT_EQ(wnd.CurrentPage(), 1) << "the page stays";
    EXPECT_TRUE(Find(L"customeInstallBtn")->IsEnabled());
    EXPECT_TRUE(wnd.InstallDir().empty());
}

TEST_F(MainWindow, NotificationsArriveAsMessagesAndForeignOnesAreIgnored) {
    DownloadCallback notify = wnd.NotifyCallback();
    std::thread worker([&] {
        notify(3000, 0.0, L"D:\\Apps\\velqordoc");
        notify(1002, 0.5, nullptr);
    });
    worker.join();
    PostMessageW(hwnd, WM_INSTALL_NOTIFY, 0, static_cast<LPARAM>(0x12345678));  // not a record of this window
    PostMessageW(hwnd, WM_DOWNLOADER_STARTED, 0, 0);
    PumpFor(2000, [&] { return wnd.Mailbox().Pending() == 0 && wnd.StartReported(); });
    EXPECT_EQ(wnd.InstallDir(), L"D:\\Apps\\velqordoc");
    EXPECT_EQ(Find(L"progressLb")->Text(), L"正在安装中:35%，请稍候...");
    EXPECT_EQ(Find<toolkit::Progress>(L"installPrg")->Value(), 35);
    EXPECT_TRUE(wnd.StartReported());
    EXPECT_TRUE(IsWindow(hwnd));

    DestroyWindow(hwnd);
    notify(2002, 0.0, L"");  // the window is gone: the record is freed at once
    EXPECT_EQ(wnd.Mailbox().Pending(), 0u);
}

TEST(SkinWindows, ArchiveIsAChineseResource) {
    HRSRC res = FindResourceExW(nullptr, L"ZIPRES", MAKEINTRESOURCEW(147), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    ASSERT_NE(res, nullptr);
    EXPECT_GT(SizeofResource(nullptr, res), 1000u);
}

// A window built from markup given here.
class MarkupFrame : public CSkinFrame {
public:
    explicit MarkupFrame(std::string markup) : CSkinFrame(L"TestWnd.xml"), m_markup(std::move(markup)) {}
    bool GetSkinMarkup(std::string& markup) override {
        markup = m_markup;
        return true;
    }

private:
    std::string m_markup;
};

TEST(SkinWindows, RoundCornersAndTheDragStrip) {
    REQUIRE_DISPLAY();
    const char* body = R"(<VerticalLayout><HorizontalLayout height="35"><Label name="title" width="100"/><Control/>
        <Button name="closebtn" width="30"/></HorizontalLayout><Control/></VerticalLayout></Window>)";
    struct Case { const char* round; bool cornerInside; } cases[] = {{"1,0", true}, {"6,6", false}};
    for (const auto& c : cases) {
        MarkupFrame frame(std::string(R"(<Window size="300,200" caption="0,0,0,35" roundcorner=")") + c.round + "\">" + body);
        HWND hwnd = frame.Create(nullptr, L"round", WS_POPUP, 0);
        ASSERT_NE(hwnd, nullptr);
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(GetWindowRgn(hwnd, rgn), ERROR);
        EXPECT_EQ(PtInRegion(rgn, 0, 0) != FALSE, c.cornerInside) << c.round;
        EXPECT_TRUE(PtInRegion(rgn, 150, 100));
        DeleteObject(rgn);
        // The top 35 pixels drag the window, except over a button.
        RECT rc;
        GetWindowRect(hwnd, &rc);
        auto hit = [&](int x, int y) { return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(rc.left + x, rc.top + y)); };
        EXPECT_EQ(hit(50, 10), HTCAPTION);    // over the label
        EXPECT_EQ(hit(200, 34), HTCAPTION);   // over the spacer, last row of the strip
        EXPECT_EQ(hit(285, 10), HTCLIENT);    // over the close button
        EXPECT_EQ(hit(150, 35), HTCLIENT);    // below the strip
        DestroyWindow(hwnd);
    }
}

TEST(SkinWindows, QueuedNotificationsAndTimers) {
    REQUIRE_DISPLAY();
    class Recorder : public MarkupFrame {
    public:
        using MarkupFrame::MarkupFrame;
        std::vector<toolkit::Notification> seen;
        void Notify(const toolkit::Notification& n) override {
            seen.push_back(n);
            if (n.type == L"timer") KillTimer(n.sender, static_cast<unsigned>(n.wParam));
            MarkupFrame::Notify(n);
        }
    } frame(R"(<Window size="100,100"><VerticalLayout/></Window>)");
    ASSERT_NE(frame.Create(nullptr, L"notify", WS_POPUP, 0), nullptr);
    // Raised queued from a worker thread, delivered on the window thread.
    std::thread worker([&] { frame.RaiseNotify(frame.Root(), L"checknet", 0x10000, true); });
    worker.join();
    EXPECT_TRUE(frame.seen.empty());  // not delivered yet
    frame.RaiseNotify(frame.Root(), L"install", 1);  // immediate
    ASSERT_EQ(frame.seen.size(), 1u);
    EXPECT_EQ(frame.seen[0].type, L"install");
    EXPECT_TRUE(frame.SetTimer(frame.Root(), 10, 20));
    PumpFor(10000, [&] { return frame.seen.size() >= 3; });
    ASSERT_EQ(frame.seen.size(), 3u);
    EXPECT_EQ(frame.seen[1].type, L"checknet");
    EXPECT_EQ(frame.seen[1].wParam, 0x10000);
    EXPECT_EQ(frame.seen[2].type, L"timer");
    EXPECT_EQ(frame.seen[2].sender, frame.Root());
    EXPECT_EQ(frame.seen[2].wParam, 10);
    PumpFor(100);
    EXPECT_EQ(frame.seen.size(), 3u);  // the timer was stopped
}

TEST(SkinWindows, ShadowSizeOutOfRangeIsRefused) {
    REQUIRE_DISPLAY();
    class Custom : public CSkinFrame {
    public:
        Custom() : CSkinFrame(L"Custom.xml") {}
        bool GetSkinMarkup(std::string& markup) override {
            markup = R"(<Window size="200,100" showshadow="true" shadowsize="25" shadowsharpness="3" shadowdarkness="40" shadowposition="2,3" shadowcolor="#00112233"><Control/></Window>)";
            return true;
        }
    } frame;
    ASSERT_NE(frame.Create(nullptr, L"shadow", WS_POPUP, 0), nullptr);
    ASSERT_NE(frame.Shadow(), nullptr);
    const auto& p = frame.Shadow()->Params();
    EXPECT_EQ(p.size, 0);  // 25 refused: the previous size stays
    EXPECT_EQ(p.sharpness, 3);
    EXPECT_EQ(p.darkness, 40);
    EXPECT_EQ(p.xOffset, 2);
    EXPECT_EQ(p.colorRef, 0x112233u);
}

TEST(SkinWindows, DialogKeepsDispatchingTheOwnersMessages) {
    REQUIRE_DISPLAY();
    Frame owner(L"MainWnd.xml");
    HWND ownerHwnd = owner.Create(nullptr, L"owner", WS_POPUP, 0);
    ASSERT_NE(ownerHwnd, nullptr);
    bool seen = false;
    owner.onMessage = [&](UINT msg) {
        if (msg != WM_APP + 7) return;
        seen = true;
        EXPECT_FALSE(IsWindowEnabled(ownerHwnd));  // disabled while the dialog is open
        if (HWND dlg = FindWindowW(L"MessageBox2Wnd", nullptr)) PostMessageW(dlg, WM_CLOSE, 0, 0);
    };
    std::wstring text, caption;
    RunInModalLoop([&] {
        if (HWND dlg = WaitForWindow(L"MessageBox2Wnd")) {
            auto* w = toolkit::WindowImpl::FromHandle(dlg);
            text = w->FindControl(L"textLbl")->Text();
            caption = w->FindControl(L"captionLbl")->Text();
        }
        PostMessageW(ownerHwnd, WM_APP + 7, 0, 0);  // the owner closes the dialog
    });
    EXPECT_EQ(ShowMessageDialog(L"MessageBox2Wnd.xml", ownerHwnd), 1);  // closed, no button: 1
    EXPECT_TRUE(seen);
    EXPECT_TRUE(IsWindowEnabled(ownerHwnd));
    EXPECT_EQ(text, L"TEXT");  // no text given: the layout's placeholders stay
    EXPECT_EQ(caption, L"CAPTION");
}

TEST(SkinWindows, DialogResultsFromRealClicksAndKeys) {
    REQUIRE_DISPLAY();
    Driver driver;
    if (!driver.Available()) GTEST_SKIP() << "not run by gui_driver.sh";
    struct Case {
        const wchar_t* layout;
        const wchar_t* className;
        std::vector<std::string> keys;  // sent first
        const wchar_t* click;           // then clicked (nullptr: none)
        int expected;
    } cases[] = {
        {L"ExitTipWnd.xml", L"ExitTipWnd", {}, L"okBtn", 0},
        {L"ExitTipWnd.xml", L"ExitTipWnd", {}, L"cancelBtn", 1},
        {L"ExitTipWnd.xml", L"ExitTipWnd", {}, L"closebtn", 2},
        // Escape closes nothing: the dialog is still there for its close button.
        {L"NetworkTipWnd.xml", L"NetworkTipWnd", {"Escape"}, L"closebtn", 2},
        // The system close key keeps the initial result.
        {L"InstalledPathTipWnd.xml", L"InstalledPathTipWnd", {"alt+F4"}, nullptr, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utils::WideToUtf8(c.layout) + " " + (c.click ? Utils::WideToUtf8(c.click) : "keys"));
        bool driven = false;
        RunInModalLoop([&] {
            HWND dlg = WaitForWindow(c.className);
            if (!dlg) return;
            // A click on the body gives the dialog the keyboard focus.
            RECT rc;
            GetWindowRect(dlg, &rc);
            driven = driver.Request("click " + std::to_string(rc.left + 30) + " " + std::to_string(rc.bottom - 12));
            for (const auto& k : c.keys) driven = driven && driver.Request("key " + k);
            if (c.click) driven = driven && IsWindow(dlg) && driver.ClickControl(dlg, c.click);
        });
        EXPECT_EQ(ShowMessageDialog(c.layout, nullptr), c.expected);
        EXPECT_TRUE(driven);
    }
}

TEST(SkinWindows, Screenshots) {
    REQUIRE_DISPLAY();
    Driver driver;
    const std::wstring dir = EnvPath(L"VELQOR_SHOT_DIR");
    if (!driver.Available() || dir.empty()) GTEST_SKIP() << "screenshots are made by tests/ui/make-screenshots.sh";
    // VELQOR_SHOT_LANGUAGE picks a language as "-language" does; VELQOR_SHOT_SUFFIX
    // goes into the file names ("-en", "-150" ...); VELQOR_SHOT_MAIN=1 adds the
    // main window's pages (the plain ones come from a real installation, scripts/demo.sh).
    wchar_t buf[32] = {};
    const bool main = GetEnvironmentVariableW(L"VELQOR_SHOT_MAIN", buf, 32) > 0 && buf[0] == L'1';
    std::wstring suffix;
    if (GetEnvironmentVariableW(L"VELQOR_SHOT_SUFFIX", buf, 32) > 0) suffix = buf;
    LaunchConfig& config = GetLaunchConfig();
    if (GetEnvironmentVariableW(L"VELQOR_SHOT_LANGUAGE", buf, 32) > 0) {
        config.Language = _wtoi(buf);
        config.LanguageGiven = true;
    }
    auto file = [&](const wchar_t* name) { return Utils::Utf8ToWide(UnixPath(dir + L"\\" + name + suffix + L".png")); };
    const int margin = MulDiv(10, static_cast<int>(toolkit::WindowImpl::WindowDpi(nullptr)), 96);  // room for the shadow
    RegDeleteTreeW(HKEY_CURRENT_USER, install_records::kRegistryKey);
    CMainWnd wnd;
    HWND hwnd = wnd.Create(nullptr, L"Velqor", 0x10CF0000 & ~WS_VISIBLE, 0);
    ASSERT_NE(hwnd, nullptr);
    wnd.CenterWindow();
    ShowWindow(hwnd, SW_SHOWNORMAL);
    PumpFor(300);
    if (main) {
        auto* tab = wnd.FindControlAs<toolkit::TabLayout>(L"mainTabLt");
        EXPECT_TRUE(driver.Shot(hwnd, file(L"main-welcome"), margin));
        tab->SelectItem(1);
        PumpFor(300);
        EXPECT_TRUE(driver.Shot(hwnd, file(L"main-custom"), margin));
        tab->SelectItem(2);
        DownloadCallback notify = wnd.NotifyCallback();
        notify(1002, 0.5, nullptr);  // 35 % of the bar
        PumpFor(600);
        EXPECT_TRUE(driver.Shot(hwnd, file(L"main-installing"), margin));
        tab->SelectItem(3);
        PumpFor(300);
        EXPECT_TRUE(driver.Shot(hwnd, file(L"main-finished"), margin));
        tab->SelectItem(0);
    }
    // The dialogs, each over the main window.
    struct DialogShot {
        const wchar_t* layout;
        const wchar_t* className;
        std::wstring text;
        std::wstring caption;
        const wchar_t* file;
    } dialogs[] = {
        {L"ExitTipWnd.xml", L"ExitTipWnd", L"", L"", L"dialog-exit-tip"},
        {L"InstalledPathTipWnd.xml", L"InstalledPathTipWnd", L"", L"", L"dialog-installed-path-tip"},
        {L"NetworkTipWnd.xml", L"NetworkTipWnd", L"", L"", L"dialog-network-tip"},
        {L"MessageBox1Wnd.xml", L"MessageBox1Wnd", LanguageText(L"301", L"安装程序检测到Velqor\r\n正在运行，请退出程序后再安装"),
         LanguageText(L"201", L"温馨提示"), L"dialog-message-box-1"},
        {L"MessageBox2Wnd.xml", L"MessageBox2Wnd", LanguageText(L"303", L"当前网络环境较差，请在网络通畅时进行安装"),
         LanguageText(L"201", L"温馨提示"), L"dialog-message-box-2"},
    };
    for (const auto& d : dialogs) {
        RunInModalLoop([&] {
            HWND dlg = WaitForWindow(d.className);
            if (!dlg) return;
            PumpFor(300);
            EXPECT_TRUE(driver.Shot(dlg, file(d.file), margin));
            PostMessageW(dlg, WM_CLOSE, 0, 0);
        });
        ShowMessageDialog(d.layout, hwnd, d.text.empty() ? nullptr : d.text.c_str(),
                          d.caption.empty() ? nullptr : d.caption.c_str());
    }
    DestroyWindow(hwnd);
    config.LanguageGiven = false;
    toolkit::ClearLanguageTexts();
}

// ---------------------------------------------------------------- keyboard

namespace {

// Names of the controls Tab visits from the current focus, `count` presses.
std::vector<std::wstring> TabWalk(Driver& driver, HWND hwnd, int count, const char* key = "Tab") {
    std::vector<std::wstring> names;
    toolkit::WindowImpl* w = toolkit::WindowImpl::FromHandle(hwnd);
    for (int i = 0; i < count && w; ++i) {
        if (!driver.Request(std::string("key ") + key)) break;
        names.push_back(w->FocusControl() ? w->FocusControl()->Name() : L"(none)");
    }
    return names;
}

// A click on a part of the window that holds no control: the window gets the
// keyboard, no control has the focus.
bool ClickEmpty(Driver& driver, HWND hwnd, int x, int y) {
    POINT pt{x, y};
    ClientToScreen(hwnd, &pt);
    return driver.Request("click " + std::to_string(pt.x) + " " + std::to_string(pt.y));
}

std::vector<std::wstring> Names(std::initializer_list<const wchar_t*> list) {
    return std::vector<std::wstring>(list.begin(), list.end());
}

}  // namespace

TEST_F(MainWindow, TabVisitsEachPageInReadingOrderAndKeysActivate) {
    Driver driver;
    if (!driver.Available()) GTEST_SKIP() << "not run by gui_driver.sh";
    EXPECT_EQ(wnd.FocusControl(), Find(L"defaultInstallBtn")) << "the layout's default button starts focused";
    EXPECT_FALSE(wnd.ShowsFocusCue()) << "no focus cue before the keyboard is used";
    wnd.CenterWindow();
    ShowWindow(hwnd, SW_SHOWNORMAL);
    PumpFor(300);
    ASSERT_TRUE(ClickEmpty(driver, hwnd, 20, 380));
    EXPECT_EQ(TabWalk(driver, hwnd, 7),
              Names({L"minbtn", L"closebtn", L"defaultInstallBtn", L"treatyCb", L"treatyBtn", L"customeBtn", L"minbtn"}));
    EXPECT_TRUE(wnd.ShowsFocusCue());
    EXPECT_EQ(TabWalk(driver, hwnd, 2, "shift+Tab"), Names({L"customeBtn", L"treatyBtn"}));

    // Space toggles the terms box (and the link follows it); Enter activates a button.
    wnd.SetFocusControl(Find(L"treatyCb"));
    ASSERT_TRUE(driver.Request("key space"));
    EXPECT_FALSE(Find<toolkit::CheckBox>(L"treatyCb")->IsChecked());
    EXPECT_FALSE(Find<toolkit::CheckBox>(L"treatyBtn")->IsChecked());
    ASSERT_TRUE(driver.Request("key space"));
    EXPECT_TRUE(Find<toolkit::CheckBox>(L"treatyCb")->IsChecked());
    wnd.SetFocusControl(Find(L"customeBtn"));
    ASSERT_TRUE(driver.Request("key Return"));
    EXPECT_EQ(wnd.CurrentPage(), 1);
    EXPECT_EQ(wnd.FocusControl(), Find(L"customeInstallBtn"));

    // The custom page; the folder edit takes the keyboard and gives it back on Tab.
    EXPECT_EQ(TabWalk(driver, hwnd, 9),
              Names({L"backBtn", L"minbtn", L"closebtn", L"installDirEdit", L"chDirBtn", L"createDSCb", L"createQSCb",
                     L"customeInstallBtn", L"backBtn"}));
    wnd.SetFocusControl(Find(L"createQSCb"));
    ASSERT_TRUE(driver.Request("key space"));
    EXPECT_FALSE(Find<toolkit::CheckBox>(L"createQSCb")->IsChecked());
    wnd.SetFocusControl(Find(L"backBtn"));
    ASSERT_TRUE(driver.Request("key space"));
    EXPECT_EQ(wnd.CurrentPage(), 0);

    // Alt+F4 is a close request: ignored on the installing page.
    SelectPage(2);
    ASSERT_TRUE(driver.Request("key alt+F4"));
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(TabWalk(driver, hwnd, 1) == Names({L"(none)"})) << "nothing to focus while installing";
    SelectPage(3);
    ASSERT_TRUE(driver.Request("key alt+F4"));
    PumpFor(2000, [&] { return !IsWindow(hwnd); });
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(SkinWindows, DialogsStartOnTheirDefaultButtonAndFollowTab) {
    REQUIRE_DISPLAY();
    Driver driver;
    if (!driver.Available()) GTEST_SKIP() << "not run by gui_driver.sh";
    struct Case {
        const wchar_t* layout;
        const wchar_t* className;
        const wchar_t* initial;
        std::vector<std::wstring> order;  // after Tab presses from the initial button
        std::string key;                  // then pressed
        int expected;
    } cases[] = {
        {L"ExitTipWnd.xml", L"ExitTipWnd", L"cancelBtn", Names({L"closebtn", L"okBtn", L"cancelBtn"}), "Return", 1},
        {L"ExitTipWnd.xml", L"ExitTipWnd", L"cancelBtn", Names({L"closebtn", L"okBtn"}), "space", 0},
        {L"InstalledPathTipWnd.xml", L"InstalledPathTipWnd", L"okBtn", Names({L"closebtn", L"cancelBtn", L"okBtn"}), "Return", 0},
        {L"NetworkTipWnd.xml", L"NetworkTipWnd", L"okBtn", Names({L"closebtn"}), "Return", 2},
        {L"MessageBox1Wnd.xml", L"MessageBox1Wnd", L"closebtn", Names({L"closebtn"}), "space", 2},
        {L"MessageBox2Wnd.xml", L"MessageBox2Wnd", L"closebtn", {}, "Return", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utils::WideToUtf8(c.layout) + " " + c.key);
        std::wstring initial;
        std::vector<std::wstring> order;
        RunInModalLoop([&] {
            HWND dlg = WaitForWindow(c.className);
            if (!dlg) return;
            auto* w = toolkit::WindowImpl::FromHandle(dlg);
            initial = w->FocusControl() ? w->FocusControl()->Name() : L"";
            // The dialog is the active window: the keys go to it.
            order = TabWalk(driver, dlg, static_cast<int>(c.order.size()));
            if (IsWindow(dlg)) driver.Request("key " + c.key);
        });
        EXPECT_EQ(ShowMessageDialog(c.layout, nullptr), c.expected);
        EXPECT_EQ(initial, c.initial);
        EXPECT_EQ(order, c.order);
    }
}

// ---------------------------------------------------------------- screen readers

namespace {

struct AccEntry {
    std::wstring name, value, action;
    long role = 0, state = 0;
    RECT where{};
};

std::wstring TakeBstr(BSTR b) {
    std::wstring s = b ? std::wstring(b, SysStringLen(b)) : L"";
    SysFreeString(b);
    return s;
}

// What a screen reader sees: the client object of `hwnd` and its children,
// read on a thread of its own (as another program would, through COM).
bool WalkAccessibleTree(HWND hwnd, AccEntry& self, std::vector<AccEntry>& children, long& focusId) {
    bool ok = false;

    std::thread client([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        IAccessible* acc = nullptr;
        HRESULT hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), toolkit::kIidAccessible,
                                                 reinterpret_cast<void**>(&acc));
        if (SUCCEEDED(hr) && acc) {
            auto read = [&](long id, AccEntry& e) {
                VARIANT child;
                VariantInit(&child);
                child.vt = VT_I4;
                child.lVal = id;
                BSTR b = nullptr;
                if (acc->get_accName(child, &b) == S_OK) e.name = TakeBstr(b);
                b = nullptr;
                if (acc->get_accValue(child, &b) == S_OK) e.value = TakeBstr(b);
                b = nullptr;
                if (acc->get_accDefaultAction(child, &b) == S_OK) e.action = TakeBstr(b);
                VARIANT v;
                VariantInit(&v);
                if (acc->get_accRole(child, &v) == S_OK && v.vt == VT_I4) e.role = v.lVal;
                VariantInit(&v);
                if (acc->get_accState(child, &v) == S_OK && v.vt == VT_I4) e.state = v.lVal;
                long l = 0, t = 0, w = 0, h = 0;
                if (acc->accLocation(&l, &t, &w, &h, child) == S_OK) e.where = RECT{l, t, l + w, t + h};
            };
            read(CHILDID_SELF, self);
            long count = 0;
            acc->get_accChildCount(&count);
            std::vector<VARIANT> kids(static_cast<size_t>(count));
            long got = 0;
            HRESULT hc = count > 0 ? AccessibleChildren(acc, 0, count, kids.data(), &got) : E_FAIL;
            if (SUCCEEDED(hc)) {
                ok = got == count;
                for (long i = 0; i < got; ++i) {
                    AccEntry e;
                    if (kids[static_cast<size_t>(i)].vt == VT_I4) read(kids[static_cast<size_t>(i)].lVal, e);
                    VariantClear(&kids[static_cast<size_t>(i)]);
                    children.push_back(e);
                }
            }
            VARIANT focus;
            VariantInit(&focus);
            focusId = acc->get_accFocus(&focus) == S_OK && focus.vt == VT_I4 ? focus.lVal : -1;
            acc->Release();
        }
        CoUninitialize();
    });
    // The window answers on this thread while the client waits.
    bool done = false;
    std::thread waiter([&] { client.join(); done = true; });
    PumpFor(20000, [&] { return done; });
    waiter.join();
    return ok;
}

const AccEntry* FindEntry(const std::vector<AccEntry>& all, const std::wstring& name) {
    for (const auto& e : all)
        if (e.name == name) return &e;
    return nullptr;
}

}  // namespace

TEST_F(MainWindow, ScreenReadersSeeEveryControlOfThePage) {
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    PumpFor(200);
    struct Expect { const wchar_t* name; long role; long stateSet; long stateClear; const wchar_t* action; };
    struct PageCase { int page; std::vector<Expect> expected; } pages[] = {
        {0, {{L"最小化", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSABLE, STATE_SYSTEM_INVISIBLE, L"按下"},
             {L"关闭", ROLE_SYSTEM_PUSHBUTTON, 0, STATE_SYSTEM_INVISIBLE, L"按下"},
             {L"返回", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_INVISIBLE, 0, L"按下"},
             {L"立即安装", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSED, 0, L"按下"},
             {L"已同意", ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_CHECKED, 0, L"取消选中"},
             {L"《用户许可协议》", ROLE_SYSTEM_CHECKBUTTON, 0, 0, nullptr},
             {L"请先阅读并同意用户许可协议", ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_INVISIBLE, 0, nullptr},
             {L"自定义安装", ROLE_SYSTEM_PUSHBUTTON, 0, STATE_SYSTEM_UNAVAILABLE, nullptr},
             {L"Velqor", ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_READONLY, 0, nullptr}}},
        {1, {{L"返回", ROLE_SYSTEM_PUSHBUTTON, 0, STATE_SYSTEM_INVISIBLE, L"按下"},
             {L"安装路径：", ROLE_SYSTEM_STATICTEXT, 0, 0, nullptr},
             {L"安装路径", ROLE_SYSTEM_TEXT, STATE_SYSTEM_FOCUSABLE, 0, nullptr},
             {L"修改", ROLE_SYSTEM_PUSHBUTTON, 0, 0, L"按下"},
             {L"创建桌面快捷方式", ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_CHECKED, 0, nullptr},
             {L"添加到快速启动栏", ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_CHECKED, 0, nullptr},
             {L"立即安装", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSED, 0, nullptr}}},
        {2, {{L"正在安装中:0%，请稍候...", ROLE_SYSTEM_STATICTEXT, 0, 0, nullptr},
             {L"安装进度", ROLE_SYSTEM_PROGRESSBAR, 0, 0, nullptr}}},
        {3, {{L"安装完成", ROLE_SYSTEM_STATICTEXT, 0, 0, nullptr},
             {L"立即体验", ROLE_SYSTEM_PUSHBUTTON, 0, 0, L"按下"}}},
    };
    for (const auto& p : pages) {
        SCOPED_TRACE("page " + std::to_string(p.page));
        if (p.page == 1) Click(L"customeBtn");  // focuses the install button
        else SelectPage(p.page);
        if (p.page == 0) wnd.SetFocusControl(Find(L"defaultInstallBtn"));
        if (p.page == 0) Find<toolkit::CheckBox>(L"treatyCb")->SetCheck(true);
        AccEntry self;
        std::vector<AccEntry> children;
        long focusId = 0;
        ASSERT_TRUE(WalkAccessibleTree(hwnd, self, children, focusId));
        EXPECT_EQ(self.role, ROLE_SYSTEM_CLIENT);
        EXPECT_EQ(self.name, L"Velqor");
        for (const auto& e : children) {
            EXPECT_FALSE(e.name.empty()) << "every exposed control has a name (role " << e.role << ")";
            EXPECT_NE(e.role, 0);
        }
        for (const auto& x : p.expected) {
            SCOPED_TRACE(Utils::WideToUtf8(x.name));
            const AccEntry* e = FindEntry(children, x.name);
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->role, x.role);
            EXPECT_EQ(e->state & x.stateSet, x.stateSet);
            EXPECT_EQ(e->state & x.stateClear, 0);
            if (x.action) {
                EXPECT_EQ(e->action, x.action);
            }
            if (!(e->state & STATE_SYSTEM_INVISIBLE)) {
                EXPECT_GT(e->where.right - e->where.left, 0);
            }
        }
        if (p.page == 2) {
            EXPECT_EQ(FindEntry(children, L"最小化"), nullptr) << "the hidden title buttons are not listed";
            const AccEntry* bar = FindEntry(children, L"安装进度");
            ASSERT_NE(bar, nullptr);
            EXPECT_EQ(bar->value, L"0%");
        }
    }
    // The location is the control's place on the screen.
    SelectPage(3);
    AccEntry self;
    std::vector<AccEntry> children;
    long focusId = 0;
    ASSERT_TRUE(WalkAccessibleTree(hwnd, self, children, focusId));
    const AccEntry* open = FindEntry(children, L"立即体验");
    ASSERT_NE(open, nullptr);
    const toolkit::Rect& r = Find(L"openProduceBtn")->GetPos();
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    EXPECT_EQ(open->where.left, origin.x + r.left);
    EXPECT_EQ(open->where.bottom, origin.y + r.bottom);
}

namespace {
std::vector<std::pair<DWORD, LONG>> g_winEvents;  // (event, child id) of the window's client object
void CALLBACK RecordWinEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
    if (object == OBJID_CLIENT) g_winEvents.emplace_back(event, child);
}
}  // namespace

TEST_F(MainWindow, ScreenReadersHearFocusAndProgress) {
    ShowWindow(hwnd, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd);
    PumpFor(200);
    std::vector<std::pair<DWORD, LONG>>& events = g_winEvents;
    events.clear();
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr, &RecordWinEvent,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    SelectPage(2);
    wnd.RaiseNotify(wnd.Root(), L"tabselect");
    const LONG label = toolkit::AccessibleChildId(wnd, Find(L"progressLb"));
    const LONG bar = toolkit::AccessibleChildId(wnd, Find(L"installPrg"));
    ASSERT_GT(label, 0);
    ASSERT_GT(bar, 0);
    DownloadCallback notify = wnd.NotifyCallback();
    notify(1002, 0.5, nullptr);
    PumpFor(2000, [&] { return events.size() >= 2; });
    auto seen = [&](DWORD event, LONG child) {
        return std::find(events.begin(), events.end(), std::make_pair(event, child)) != events.end();
    };
    EXPECT_TRUE(seen(EVENT_OBJECT_NAMECHANGE, label));
    EXPECT_TRUE(seen(EVENT_OBJECT_VALUECHANGE, bar));
    SelectPage(3);
    wnd.SetFocusControl(Find(L"openProduceBtn"));
    PumpFor(1000, [&] { return seen(EVENT_OBJECT_FOCUS, toolkit::AccessibleChildId(wnd, Find(L"openProduceBtn"))); });
    EXPECT_TRUE(seen(EVENT_OBJECT_FOCUS, toolkit::AccessibleChildId(wnd, Find(L"openProduceBtn"))));
    UnhookWinEvent(hook);
}

TEST(SkinWindows, DialogsTellScreenReadersTheirCaptionAndButtons) {
    REQUIRE_DISPLAY();
    struct Case { const wchar_t* layout; const wchar_t* className; const wchar_t* caption; std::vector<std::wstring> buttons; } cases[] = {
        {L"ExitTipWnd.xml", L"ExitTipWnd", L"温馨提示", Names({L"关闭", L"是", L"否"})},
        {L"InstalledPathTipWnd.xml", L"InstalledPathTipWnd", L"温馨提示", Names({L"关闭", L"打开软件", L"安装最新版本"})},
        {L"NetworkTipWnd.xml", L"NetworkTipWnd", L"温馨提示", Names({L"关闭", L"稍后再试", L"重新安装"})},
        {L"MessageBox1Wnd.xml", L"MessageBox1Wnd", L"温馨提示", Names({L"关闭"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utils::WideToUtf8(c.layout));
        AccEntry self;
        std::vector<AccEntry> children;
        long focusId = 0;
        bool walked = false;
        RunInModalLoop([&] {
            HWND dlg = WaitForWindow(c.className);
            if (!dlg) return;
            walked = WalkAccessibleTree(dlg, self, children, focusId);
            PostMessageW(dlg, WM_CLOSE, 0, 0);
        });
        ShowMessageDialog(c.layout, nullptr, L"正文", L"温馨提示");
        ASSERT_TRUE(walked);
        EXPECT_EQ(self.name, c.caption);
        std::vector<std::wstring> buttons;
        for (const auto& e : children)
            if (e.role == ROLE_SYSTEM_PUSHBUTTON) buttons.push_back(e.name);
        EXPECT_EQ(buttons, c.buttons);
        ASSERT_GT(focusId, 0);
        ASSERT_LE(focusId, static_cast<long>(children.size()));
        EXPECT_TRUE(children[static_cast<size_t>(focusId - 1)].state & STATE_SYSTEM_FOCUSED);
    }
}
// A progress bar whose foreground is shrunk: the cap and the stretched middle
// meet without a gap, at 3 % and 50 %.
TEST(SkinWindows, ProgressForegroundHasNoNotch) {
    REQUIRE_DISPLAY();
    ASSERT_TRUE(toolkit::LoadSkinResource(GetModuleHandleW(nullptr), 147));
    for (int value : {3, 50}) {
        SCOPED_TRACE(value);
        MarkupFrame frame(R"(<Window size="500,60"><VerticalLayout bkcolor="#FFF4F7FC"><Control/><HorizontalLayout height="8"><Control/><Progress name="p" width="440" height="8" bkimage="res\mainWnd\installPrg1.png" foreimage="file='res\mainWnd\installPrg2.png' corner='4,0,4,0'" value=")" +
                          std::to_string(value) + R"("/><Control/></HorizontalLayout><Control/></VerticalLayout></Window>)");
        HWND hwnd = frame.Create(nullptr, L"progress", WS_POPUP, 0);
        ASSERT_NE(hwnd, nullptr);
        SetWindowPos(hwnd, HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        UpdateWindow(hwnd);
        PumpFor(300);
        const toolkit::Rect& r = frame.FindControl(L"p")->GetPos();
        HDC screen = GetDC(nullptr);
        POINT pt{r.left, (r.top + r.bottom) / 2};
        ClientToScreen(hwnd, &pt);
        for (int x = 1; x < 10; ++x) {
            const COLORREF c = GetPixel(screen, pt.x + x, pt.y);
            EXPECT_EQ(c, RGB(0x2F, 0x6B, 0xFF)) << "column " << x;
        }
        ReleaseDC(nullptr, screen);
        DestroyWindow(hwnd);
    }
}

// The first page's images are decoded on a worker while the window is made.
// Whoever comes first decodes an image: the paint draws the same pixels as
// with images decoded at paint time, however the two meet, and the images of
// a hidden page are left for later.
TEST(SkinWindows, ImagesDecodedAheadDrawTheSamePixels) {
    REQUIRE_DISPLAY();
    ASSERT_TRUE(toolkit::LoadSkinResource(GetModuleHandleW(nullptr), 147));
    MarkupFrame frame(R"(<Window size="300,200"><TabLayout name="tabs">
        <VerticalLayout bkimage="res\mainWnd\bg1.png">
          <HorizontalLayout height="40"><Control bkimage="file='res\mainWnd\logo.png' mask='#FFFFFFFF'"/>
            <Button width="120" normalimage="res\mainWnd\installBtn1.png" hotimage="res\mainWnd\installBtn2.png"/></HorizontalLayout>
          <Progress height="8" bkimage="res\mainWnd\installPrg1.png" foreimage="file='res\mainWnd\installPrg2.png' corner='4,0,4,0'" value="60"/>
          <Control/></VerticalLayout>
        <VerticalLayout bkimage="res\mainWnd\bg2.png"/></TabLayout></Window>)");
    HWND hwnd = frame.Create(nullptr, L"ahead", WS_POPUP, 0);  // never shown: no paint of its own
    ASSERT_NE(hwnd, nullptr);
    frame.EnsureLayout();
    const int w = 300, h = 200;
    toolkit::render::FontTable fonts;
    auto draw = [&] {
        Gdiplus::Bitmap bitmap(w, h, PixelFormat32bppPARGB);
        {
            Gdiplus::Graphics g(&bitmap);
            g.Clear(Gdiplus::Color(255, 255, 255, 255));
            toolkit::render::DrawTree(g, *frame.Root(), toolkit::Rect{0, 0, w, h}, toolkit::render::DrawStyle{fonts});
        }
        std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
        Gdiplus::BitmapData data{};
        Gdiplus::Rect all(0, 0, w, h);
        if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) == Gdiplus::Ok) {
            for (int y = 0; y < h; ++y)
                std::memcpy(&pixels[static_cast<size_t>(y) * w], static_cast<const uint8_t*>(data.Scan0) + y * data.Stride, w * 4);
            bitmap.UnlockBits(&data);
        }
        return pixels;
    };
    toolkit::render::ClearImageCache();  // ends the window's own decode-ahead
    const std::vector<uint32_t> reference = draw();  // every image decoded as it is drawn
    const size_t drawnBytes = toolkit::DecodedImageBytes();
    ASSERT_GT(drawnBytes, 0u);
    ASSERT_NE(std::count(reference.begin(), reference.end(), 0xFFFFFFFFu), static_cast<long>(reference.size()));

    struct Case {
        const char* name;
        std::function<void()> between;  // after the worker starts, before the paint
    };
    const Case cases[] = {
        {"paint at once", [] {}},
        {"list made again", [&] { toolkit::render::DecodeAhead(*frame.Root()); }},
        {"cache cleared under the worker", [] { toolkit::render::ClearImageCache(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (int round = 0; round < 10; ++round) {  // the worker and the paint meet at different images
            toolkit::render::ClearImageCache();
            toolkit::render::DecodeAhead(*frame.Root());
            c.between();
            ASSERT_EQ(draw(), reference) << "round " << round;
        }
    }
    // A list that ends before a paint is kept: every image the page draws and
    // none of the hidden page's.
    toolkit::render::ClearImageCache();
    toolkit::render::DecodeAhead(*frame.Root());
    toolkit::render::DecodeAhead(*frame.Root());  // waits for the first list, lists nothing new
    EXPECT_GT(toolkit::DecodedImageBytes(), 0u);  // decoded without a paint
    EXPECT_EQ(draw(), reference);
    EXPECT_EQ(toolkit::DecodedImageBytes(), drawnBytes);  // plus the scaled copies the paint makes
    DestroyWindow(hwnd);
}

// ---------------------------------------------------------------- languages

namespace {

bool HasHan(const std::wstring& text) {
    for (wchar_t ch : text)
        if (ch >= 0x2E80 && ch < 0xA000) return true;
    return false;
}

// Texts of every shown label and whether one of them does not fit its control.
void CheckTexts(toolkit::WindowImpl& w, const std::function<void(const std::wstring&)>& check, const std::string& where) {
    w.EnsureLayout();
    auto visit = [&](auto&& self, toolkit::Control* c) -> void {
        if (!c || !c->IsVisible()) return;
        if (auto* label = c->As<toolkit::Label>(); label && !c->Text().empty()) {
            check(c->Text());
            if (label->TextStyle() & toolkit::kTextSingleLine) {
                const int room = c->GetPos().Width() - label->TextPadding().left - label->TextPadding().right;
                EXPECT_LE(w.MeasureTextWidth(c, c->Text()), room)
                    << where << ": \"" << Utils::WideToUtf8(c->Text()) << "\" is cut off";
            }
        }
        if (auto* box = c->As<toolkit::Container>())
            for (size_t i = 0; i < box->Count(); ++i) self(self, box->ChildAt(i));
    };
    visit(visit, w.Root());
}

struct LanguageCase {
    int index;
    std::function<void(const std::wstring&)> check;
    const wchar_t* installText;  // the install button's text
};

}  // namespace

TEST(SkinWindows, EveryPageAndDialogInTheChosenLanguage) {
    REQUIRE_DISPLAY();
    ASSERT_TRUE(toolkit::LoadSkinResource(GetModuleHandleW(nullptr), 147));
    const LanguageCase cases[] = {
        {0, [](const std::wstring& t) { EXPECT_FALSE(HasHan(t)) << Utils::WideToUtf8(t); }, L"Install now"},
        {2, [](const std::wstring& t) { EXPECT_EQ(t.find(L"安装"), std::wstring::npos) << Utils::WideToUtf8(t); }, L"立即安裝"},
        {1, [](const std::wstring&) {}, L"立即安装"},
    };
    LaunchConfig& config = GetLaunchConfig();
    for (const auto& lc : cases) {
        SCOPED_TRACE("language " + std::to_string(lc.index));
        RegDeleteTreeW(HKEY_CURRENT_USER, install_records::kRegistryKey);
        config.Language = lc.index;
        config.LanguageGiven = true;
        {
            CMainWnd wnd;
            HWND hwnd = wnd.Create(nullptr, L"Velqor", 0x10CF0000, 0);
            ASSERT_NE(hwnd, nullptr);
            EXPECT_EQ(wnd.FindControl(L"defaultInstallBtn")->Text(), lc.installText);
            auto* tab = wnd.FindControlAs<toolkit::TabLayout>(L"mainTabLt");
            wnd.FindControl(L"tipLbl")->SetVisible(true);
            for (int page = 0; page < 4; ++page) {
                tab->SelectItem(page);
                CheckTexts(wnd, lc.check, "page " + std::to_string(page));
            }
            // The dialogs, with the texts the program gives them.
            struct Dialog { const wchar_t* layout; const wchar_t* className; std::wstring text; } dialogs[] = {
                {L"ExitTipWnd.xml", L"ExitTipWnd", L""},
                {L"InstalledPathTipWnd.xml", L"InstalledPathTipWnd", L""},
                {L"NetworkTipWnd.xml", L"NetworkTipWnd", L""},
                {L"MessageBox1Wnd.xml", L"MessageBox1Wnd", LanguageText(L"301", L"")},
                {L"MessageBox2Wnd.xml", L"MessageBox2Wnd", LanguageText(L"104", L"")},
            };
            for (const auto& d : dialogs) {
                bool seen = false;
                RunInModalLoop([&] {
                    HWND dlg = WaitForWindow(d.className);
                    if (!dlg) return;
                    seen = true;
                    CheckTexts(*toolkit::WindowImpl::FromHandle(dlg), lc.check, Utils::WideToUtf8(d.layout));
                    PostMessageW(dlg, WM_CLOSE, 0, 0);
                });
                ShowMessageDialog(d.layout, hwnd, d.text.empty() ? nullptr : d.text.c_str(),
                                  LanguageText(L"201", L"温馨提示").c_str());
                EXPECT_TRUE(seen) << Utils::WideToUtf8(d.layout);
            }
            DestroyWindow(hwnd);
        }
    }
    config.LanguageGiven = false;
    toolkit::ClearLanguageTexts();
}

// ---------------------------------------------------------------- a broken skin

namespace {

// Started as a child process by the test below: a window built from resource
// 148, which is no 7z archive, ends the process after its message box.
class BrokenSkinFrame : public CSkinFrame {
public:
    BrokenSkinFrame() : CSkinFrame(L"MainWnd.xml") {}
    int GetSkinResourceId() const override { return 148; }
};

const bool g_brokenSkinChild = [] {
    wchar_t buf[8];
    if (GetEnvironmentVariableW(L"VELQOR_BROKEN_SKIN_CHILD", buf, 8) == 0) return false;
    BrokenSkinFrame frame;
    frame.Create(nullptr, L"broken", WS_POPUP, 0);
    ExitProcess(0);  // not reached: the window's creation ends the process
}();

}  // namespace

namespace {
struct FoundBox {
    DWORD pid;
    HWND box = nullptr;
};
// The visible message box (dialog class) of the process `pid`.
BOOL CALLBACK FindMessageBoxOf(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<FoundBox*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[32] = {};
    GetClassNameW(h, cls, 32);
    if (pid == f->pid && std::wstring(cls) == L"#32770" && IsWindowVisible(h)) {
        f->box = h;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

TEST(SkinWindows, ASkinResourceThatIsNoArchiveEndsTheProgramWithItsMessage) {
    REQUIRE_DISPLAY();
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = std::wstring(L"\"") + exe + L"\" --gtest_list_tests";
    SetEnvironmentVariableW(L"VELQOR_BROKEN_SKIN_CHILD", L"1");
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(L"VELQOR_BROKEN_SKIN_CHILD", nullptr);
    ASSERT_TRUE(started);
    // Its message box: read the words, then press OK.
    FoundBox found{pi.dwProcessId};
    std::wstring text, caption;
    PumpFor(30000, [&] {
        EnumWindows(&FindMessageBoxOf, reinterpret_cast<LPARAM>(&found));
        return found.box != nullptr || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
    });
    ASSERT_NE(found.box, nullptr) << "no message box";
    wchar_t buf[256] = {};
    GetDlgItemTextW(found.box, 0xFFFF, buf, 256);
    text = buf;
    GetWindowTextW(found.box, buf, 256);
    caption = buf;
    PostMessageW(found.box, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(text, L"加载资源文件失败");
    EXPECT_EQ(caption, L"Velqor");
    EXPECT_EQ(code, 1u);
}

// ---------------------------------------------------------------- 150 %

namespace {

bool IsHighDpiChild() {
    wchar_t buf[8];
    return GetEnvironmentVariableW(L"VELQOR_HIGH_DPI_CHILD", buf, 8) > 0;
}

// Where Wine and Windows keep the display's DPI (LogPixels); the value before
// the change is put back afterwards.
struct DpiSetting {
    HKEY root;
    const wchar_t* key;
    bool had = false;
    DWORD old = 0;
};

void SetLogPixels(std::vector<DpiSetting>& settings, DWORD dpi) {
    for (auto& s : settings) {
        HKEY k;
        if (RegCreateKeyExW(s.root, s.key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS) continue;
        DWORD size = sizeof s.old, type = 0;
        s.had = RegQueryValueExW(k, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&s.old), &size) == ERROR_SUCCESS;
        RegSetValueExW(k, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
        RegCloseKey(k);
    }
}

void RestoreLogPixels(const std::vector<DpiSetting>& settings) {
    for (const auto& s : settings) {
        HKEY k;
        if (RegOpenKeyExW(s.root, s.key, 0, KEY_WRITE, &k) != ERROR_SUCCESS) continue;
        if (s.had) RegSetValueExW(k, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&s.old), sizeof s.old);
        else RegDeleteValueW(k, L"LogPixels");
        RegCloseKey(k);
    }
}

}  // namespace

// Runs the HighDpi tests in a child process started at 144 DPI (150 %).
TEST(SkinWindows, At150PercentInAProcessOfItsOwn) {
    REQUIRE_DISPLAY();
    if (IsHighDpiChild()) GTEST_SKIP() << "this is the child";
    std::vector<DpiSetting> settings = {{HKEY_CURRENT_USER, L"Control Panel\\Desktop"},
                                        {HKEY_CURRENT_USER, L"Software\\Wine\\Fonts"},
                                        {HKEY_CURRENT_CONFIG, L"Software\\Fonts"}};
    SetLogPixels(settings, 144);
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring cmd = std::wstring(L"\"") + exe + L"\" --gtest_filter=HighDpi*.*";
    SetEnvironmentVariableW(L"VELQOR_HIGH_DPI_CHILD", L"1");
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(L"VELQOR_HIGH_DPI_CHILD", nullptr);
    DWORD code = 99;
    if (started) {
        WaitForSingleObject(pi.hProcess, 240000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    RestoreLogPixels(settings);
    ASSERT_TRUE(started);
    EXPECT_EQ(code, 0u) << "the HighDpi tests failed in the child (their output is above)";
    Driver resync;  // the child's requests count for this program as well
}

class HighDpi : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsHighDpiChild()) GTEST_SKIP() << "run at 144 DPI by SkinWindows.At150PercentInAProcessOfItsOwn";
        ASSERT_EQ(toolkit::WindowImpl::WindowDpi(nullptr), 144u) << "the display is not at 150 %";
    }
};

TEST_F(HighDpi, TheMainWindowIsScaledAndClicksLandOnItsControls) {
    RegDeleteTreeW(HKEY_CURRENT_USER, install_records::kRegistryKey);
    CMainWnd wnd;
    HWND hwnd = wnd.Create(nullptr, L"Velqor", 0x10CF0000, 0);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(wnd.Dpi(), 144u);
    RECT rc;
    GetClientRect(hwnd, &rc);
    EXPECT_EQ(rc.right, 900);
    EXPECT_EQ(rc.bottom, 600);
    // Text is drawn in fonts made for the display: 14-pixel text is 21 pixels high.
    LOGFONTW lf{};
    GetObjectW(wnd.GetFont(0), sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, -21);
    wnd.EnsureLayout();
    const toolkit::Rect install = wnd.FindControl(L"defaultInstallBtn")->GetPos();
    EXPECT_EQ(install.Width(), 330);
    EXPECT_EQ(install.Height(), 72);
    // The caption strip is 35 x 1.5 pixels high.
    GetWindowRect(hwnd, &rc);
    auto hit = [&](int x, int y) { return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(rc.left + x, rc.top + y)); };
    EXPECT_EQ(hit(300, 50), HTCAPTION);
    EXPECT_EQ(hit(300, 53), HTCLIENT);

    Driver driver;
    if (driver.Available()) {
        wnd.CenterWindow();
        ShowWindow(hwnd, SW_SHOWNORMAL);
        PumpFor(300);
        ASSERT_TRUE(driver.ClickControl(hwnd, L"customeBtn"));
        EXPECT_EQ(wnd.CurrentPage(), 1);
        ASSERT_TRUE(driver.ClickControl(hwnd, L"createDSCb"));
        EXPECT_FALSE(wnd.FindControlAs<toolkit::CheckBox>(L"createDSCb")->IsChecked());
        ASSERT_TRUE(driver.ClickControl(hwnd, L"backBtn"));
        EXPECT_EQ(wnd.CurrentPage(), 0);
        ClickEmpty(driver, hwnd, 20, 560);
        EXPECT_EQ(TabWalk(driver, hwnd, 3), Names({L"minbtn", L"closebtn", L"defaultInstallBtn"}));
        const std::wstring dir = EnvPath(L"VELQOR_SHOT_DIR");
        if (!dir.empty()) {
            // The focus cue of the keyboard, at 150 %.
            EXPECT_TRUE(driver.Shot(hwnd, Utils::Utf8ToWide(UnixPath(dir + L"\\main-welcome-focus-150.png")), 15));
        }
    }
    DestroyWindow(hwnd);
}

TEST_F(HighDpi, DialogsTakeTheirOwnersScale) {
    Frame owner(L"MainWnd.xml");
    HWND ownerHwnd = owner.Create(nullptr, L"owner", WS_POPUP, 0);
    ASSERT_NE(ownerHwnd, nullptr);
    RECT client{};
    RunInModalLoop([&] {
        if (HWND dlg = WaitForWindow(L"InstalledPathTipWnd")) {
            GetClientRect(dlg, &client);
            PostMessageW(dlg, WM_CLOSE, 0, 0);
        }
    });
    ShowMessageDialog(L"InstalledPathTipWnd.xml", ownerHwnd);
    EXPECT_EQ(client.right, 600);
    EXPECT_EQ(client.bottom, 270);
    DestroyWindow(ownerHwnd);
}
