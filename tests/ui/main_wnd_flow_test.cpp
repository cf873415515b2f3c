// The main window's reactions to the installation's notifications, with a
// window that records what it is asked to show.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "install/pipeline.h"
#include "ui/main_wnd_flow.h"

namespace {

struct Event {
    std::wstring name;
    float elapsed;
    std::wstring reason;
    std::wstring ab;
};

// What the flow asks of its window, recorded.
class RecordingView : public FlowView {
public:
    static constexpr int kPageInstalling = CMainWndFlow::kPageInstalling;
    static constexpr int kPageFinished = CMainWndFlow::kPageFinished;
    static constexpr const wchar_t* kStartProgressText = CMainWndFlow::kStartProgressText;

    uint32_t now = 100000;
    std::wstring userFormat;
    std::wstring text = kStartProgressText;
    int bar = 0;
    int page = kPageInstalling;
    std::vector<Event> events;
    std::vector<std::wstring> dialogs;  // "layout|text|caption"
    std::vector<int> dialogResults;     // answers, in order (1 when exhausted)
    std::vector<int> retries;
    std::vector<int> closes;
    std::vector<std::wstring> handOffs;
    int finishedPages = 0;
    int finishedCalls = 0;
    std::wstring configuredAb = L"B2";

    std::vector<std::wstring> EventNames() const {
        std::vector<std::wstring> names;
        for (const auto& e : events) names.push_back(e.name);
        return names;
    }

protected:
    uint32_t TickNow() override { return now; }
    std::wstring ProgressUserFormat() override { return userFormat; }
    void ShowProgress(const std::wstring& t, int percent) override {
        text = t;
        bar = percent;
    }
    int ProgressBarValue() override { return bar; }
    int ShowDialog(const std::wstring& layout, const std::wstring& t, const std::wstring& caption) override {
        dialogs.push_back(layout + L"|" + t + L"|" + caption);
        if (dialogResults.empty()) return 1;
        int r = dialogResults.front();
        dialogResults.erase(dialogResults.begin());
        return r;
    }
    void SelectMainPage(int p) override { page = p; }
    void RetryInstall(int p) override { retries.push_back(p); }
    void CloseMainWindow(int code) override { closes.push_back(code); }
    void ShowFinishedPage() override {
        ++finishedPages;
        page = kPageFinished;
    }
    void OnInstallFinished() override { ++finishedCalls; }
    int NetworkStatus() override { return 2; }
    std::wstring BuildDownloadReport(const NotifyRecord& r, int net, const std::wstring&) override {
        return r.text + L"/" + std::to_wstring(net);
    }
    void SendTaskEvent(const std::wstring& name, float elapsed, const std::wstring& reason,
                       const std::wstring& ab) override {
        events.push_back({name, elapsed, reason, ab});
    }
    void WriteHandOff(const std::wstring& dir) override { handOffs.push_back(dir); }
    std::wstring ConfiguredAbGroup() override { return configuredAb; }
};

// The flow over a recording view.
class RecordingWindow : public RecordingView, public CMainWndFlow {
public:
    explicit RecordingWindow(double scale = 0.7) : CMainWndFlow(static_cast<FlowView&>(*this), scale) {}

    using RecordingView::kPageFinished;
    using RecordingView::kPageInstalling;
    using RecordingView::kStartProgressText;

    void Notify(int code, double value = 0.0, const std::wstring& t = L"") { HandleNotify(NotifyRecord{code, value, t}); }
    void SetInstalledCopy(bool b) { SetHasInstalledCopy(b); }
};

TEST(MainWndFlow, TheDownloaderStartIsReportedOnceAndTheDownloadStartEveryTime) {
    RecordingWindow w;
    w.Notify(DL_CODE_START);
    w.now += 5000;
    w.Notify(DL_CODE_START);  // a restarted download
    w.now += 2500;
    w.Notify(DL_CODE_SUCCESS);
    EXPECT_EQ(w.EventNames(),
              (std::vector<std::wstring>{L"下载器启动", L"开始下载大包", L"开始下载大包", L"大包下载完毕"}));
    EXPECT_FLOAT_EQ(w.events.back().elapsed, 2.5f);  // measured from the most recent start
    for (const auto& e : w.events) EXPECT_EQ(e.ab, L"B2") << "the configured group is taken at the first start";
}

TEST(MainWndFlow, AnOutsideStartMessageTakesTheStartReportBeforeTheFirstDownload) {
    RecordingWindow w;
    w.OnDownloaderStarted();
    w.OnDownloaderStarted();
    w.Notify(DL_CODE_START);
    EXPECT_EQ(w.EventNames(), (std::vector<std::wstring>{L"下载器启动", L"开始下载大包"}));
    EXPECT_EQ(w.events[0].ab, L"IN");  // reported before the group was taken from the configuration
    EXPECT_EQ(w.events[1].ab, L"IN");  // and it is not taken once the start was reported
}

TEST(MainWndFlow, ProgressTextAndBarFollowDownloadAndPackage) {
    RecordingWindow w;
    w.Notify(DL_CODE_START);
    w.Notify(DL_CODE_PROGRESS, 0.5);
    EXPECT_EQ(w.bar, 35);
    EXPECT_EQ(w.text, L"正在安装中:35%，请稍候...");
    w.Notify(DL_CODE_SUCCESS);
    w.Notify(IST_CODE_START);
    w.Notify(IST_CODE_PROGRESS, 0.0);
    EXPECT_EQ(w.bar, 74);
    for (int i = 0; i < 6; ++i) w.Notify(IST_CODE_PROGRESS, 0.0);
    EXPECT_EQ(w.bar, 98);  // the seventh line and later
    w.now += 61000;        // the clock still runs from the download's start
    w.Notify(IST_CODE_PROGRESS, 0.0);
    EXPECT_EQ(w.text, L"正在安装中:98%，请耐心等待...");
}

TEST(MainWndFlow, ALayoutFormatIsUsedWhenSafeAndIgnoredOtherwise) {
    RecordingWindow w;
    w.userFormat = L"%d%% done";
    w.Notify(DL_CODE_PROGRESS, 0.5);
    EXPECT_EQ(w.text, L"35% done");
    w.userFormat = L"%s %d";  // a string conversion would read a missing argument
    w.Notify(DL_CODE_PROGRESS, 0.5);
    EXPECT_EQ(w.text, L"正在安装中:35%，请稍候...");
}

TEST(MainWndFlow, APackageFailureKeepsOrResetsTheBarAndShowsItsText) {
    struct Case {
        double downloaded;  // fraction before the failure
        const wchar_t* failureText;
        int bar;
        const wchar_t* text;
        const wchar_t* dialog;
    } cases[] = {
        {0.7143, L"磁盘已满", 50, L"正在安装中:50%，请稍候...", L"MessageBox2Wnd.xml|磁盘已满|温馨提示"},
        {1.0, L"", 0, L"正在安装中:0%，请稍候...", L"MessageBox2Wnd.xml|安装失败|温馨提示"},
    };
    for (const auto& c : cases) {
        RecordingWindow w;
        w.SetSavedPage(CMainWndFlow::kPageCustom);
        w.Notify(DL_CODE_START);
        w.Notify(DL_CODE_PROGRESS, c.downloaded);
        if (c.downloaded >= 1.0) w.Notify(IST_CODE_PROGRESS, 0.4);  // 82 %
        w.Notify(IST_CODE_FAIL, 1000.0, c.failureText);
        EXPECT_EQ(w.bar, c.bar) << c.downloaded;
        EXPECT_EQ(w.text, c.text);
        ASSERT_EQ(w.dialogs.size(), 1u);
        EXPECT_EQ(w.dialogs[0], c.dialog);
        EXPECT_EQ(w.page, CMainWndFlow::kPageWelcome) << "back to the welcome page whatever page it started from";
        EXPECT_EQ(w.events.back().name, L"安装失败原因");
        EXPECT_EQ(w.events.back().reason, std::wstring(L":1.code=1000；2.msg=") + c.failureText);
    }
}

TEST(MainWndFlow, ADownloadFailureReportsAndAsksWhatToDo) {
    struct Case {
        int savedPage;
        bool installedCopy;
        int tipResult;
        std::vector<int> retries;
        std::vector<int> closes;
    } cases[] = {
        {0, false, 0, {0}, {}},   // "重新安装" from the welcome page
        {1, false, 0, {1}, {}},   // ... from the custom page keeps the custom choices
        {0, false, 1, {}, {}},    // "稍后再试" without an installed copy stays
        {1, true, 1, {}, {1}},    // ... with one closes the window
        {0, true, 2, {}, {}},     // the tip closed
    };
    for (const auto& c : cases) {
        RecordingWindow w;
        w.SetSavedPage(c.savedPage);
        w.SetInstalledCopy(c.installedCopy);
        w.dialogResults = {c.tipResult};
        w.Notify(DL_CODE_FAIL, 28.0, L"LibCurl");
        ASSERT_EQ(w.events.size(), 1u);
        EXPECT_EQ(w.events[0].name, L"下载失败原因");
        EXPECT_EQ(w.events[0].reason, L"LibCurl/2");
        ASSERT_EQ(w.dialogs.size(), 1u);
        EXPECT_EQ(w.dialogs[0], L"NetworkTipWnd.xml||") << "the tip keeps its own texts, never the raw failure";
        EXPECT_EQ(w.retries, c.retries) << c.savedPage << " " << c.tipResult;
        EXPECT_EQ(w.closes, c.closes);
        EXPECT_EQ(w.page, c.savedPage);
    }
}

TEST(MainWndFlow, SuccessReportsShowsTheFinishedPageAndFinishes) {
    RecordingWindow w;
    w.SetInstallDir(L"C:\\Program Files\\velqordoc");
    w.Notify(IST_CODE_START);
    w.Notify(IST_RESULT_INST_PATH, 0.0, L"D:\\Apps\\velqordoc");
    w.Notify(IST_RESULT_EXE_PATH, 0.0, L"D:\\Apps\\velqordoc\\Velqor.exe");
    w.Notify(IST_RESULT_UNINST_EP, 0.0, L"D:\\Apps\\velqordoc\\uninst.ep");
    w.Notify(IST_RESULT_START_URL, 0.0, L"https://example.test/hi");
    w.Notify(IST_RESULT_STARTUP_STYLE, 2.0);
    w.Notify(IST_RESULT_TOP_SHOW_DETENTION, 500.0);
    w.Notify(IST_RESULT_FINISH_CLOSE_DETENTION, 0.0);
    w.Notify(IST_CODE_SUCCESS);
    EXPECT_EQ(w.handOffs, (std::vector<std::wstring>{L"C:\\Program Files\\velqordoc"}));
    EXPECT_EQ(w.InstallDir(), L"D:\\Apps\\velqordoc");
    EXPECT_EQ(w.ProductExe(), L"D:\\Apps\\velqordoc\\Velqor.exe");
    EXPECT_EQ(w.ReportedUninstaller(), L"D:\\Apps\\velqordoc\\uninst.ep");
    EXPECT_EQ(w.StartUrl(), L"https://example.test/hi");
    EXPECT_EQ(w.StartupStyleValue(), UserStartup);
    EXPECT_EQ(w.TopShowDelay(), 500u);
    EXPECT_EQ(w.FinishCloseDelay(), 0u);
    EXPECT_EQ(w.EventNames(), (std::vector<std::wstring>{L"安装成功"}));
    EXPECT_EQ(w.finishedPages, 1);
    EXPECT_EQ(w.finishedCalls, 1);
    EXPECT_EQ(w.page, CMainWndFlow::kPageFinished);
}

TEST(MainWndFlow, TheExitCodeIsTheLastAttemptsFailureUntilASuccess) {
    RecordingWindow w;
    EXPECT_EQ(w.ExitCode(), kExitInstalled);  // nothing attempted
    w.Notify(DL_CODE_START);
    w.Notify(DL_CODE_FAIL, 7, L"LibCurl");  // the network tip answers "稍后再试"
    EXPECT_EQ(w.ExitCode(), kExitDownloadFailed);
    w.Notify(DL_CODE_START);  // "重新安装"
    w.Notify(DL_CODE_SUCCESS);
    w.Notify(IST_CODE_FAIL, 0, L"安装包安装失败");
    EXPECT_EQ(w.ExitCode(), kExitPackageFailed);
    w.Notify(UNIST_CODE_ERROR, 0, L"busy");
    EXPECT_EQ(w.ExitCode(), kExitRemovalFailed);
    w.Notify(IST_CODE_SUCCESS);
    EXPECT_EQ(w.ExitCode(), kExitInstalled);
}

TEST(MainWndFlow, PackageNumbersOutsideTheirRangeStayDefined) {
    struct Case {
        double value;
        uint32_t ms;
    } cases[] = {{-5.0, 0u}, {1e12, 0xFFFFFFFFu}, {4294967295.0, 0xFFFFFFFFu}, {1234.9, 1234u}};
    for (const auto& c : cases) {
        RecordingWindow w;
        w.Notify(IST_RESULT_TOP_SHOW_DETENTION, c.value);
        EXPECT_EQ(w.TopShowDelay(), c.ms) << c.value;
    }
    RecordingWindow w;
    w.Notify(IST_RESULT_STARTUP_STYLE, 1e30);
    EXPECT_EQ(w.StartupStyleValue(), NonStartup);
}

TEST(MainWndFlow, MessagesAndUninstallFailures) {
    RecordingWindow w;
    w.Notify(IST_RESULT_MESSAGE, 0.0, L"请重启电脑");
    w.Notify(IST_RESULT_MESSAGE, 0.0, L"");  // no words: no dialog with the layout's placeholder
    EXPECT_EQ(w.dialogs, (std::vector<std::wstring>{L"MessageBox1Wnd.xml|请重启电脑|消息"}));

    for (int code : std::vector<int>{UNIST_CODE_FAIL, UNIST_CODE_ERROR}) {
        for (bool installed : {false, true}) {
            RecordingWindow u;
            u.SetSavedPage(CMainWndFlow::kPageCustom);
            u.SetInstalledCopy(installed);
            u.Notify(code);
            EXPECT_EQ(u.dialogs,
                      (std::vector<std::wstring>{L"MessageBox1Wnd.xml|安装程序检测到Velqor\r\n正在运行，请退出程序后再安装|温馨提示"}));
            EXPECT_EQ(u.page, CMainWndFlow::kPageCustom);
            EXPECT_EQ(u.closes, installed ? std::vector<int>{1} : std::vector<int>{});
        }
    }
}

TEST(MainWndFlow, CodesWithoutAReactionChangeNothing) {
    for (int code : std::vector<int>{DL_CODE_RETRY, IST_RESULT_UNINST_EXE, UNIST_CODE_START, UNIST_CODE_PROGRESS, UNIST_CODE_SUCCESS,
                     0, 4242, -1}) {
        RecordingWindow w;
        w.Notify(code, 0.5, L"x");
        EXPECT_TRUE(w.events.empty()) << code;
        EXPECT_TRUE(w.dialogs.empty()) << code;
        EXPECT_EQ(w.page, CMainWndFlow::kPageInstalling) << code;
        EXPECT_EQ(w.bar, 0) << code;
    }
}

TEST(MainWndFlow, ADownloaderMessageIsReportedAndNotShown) {
    RecordingWindow w;
    w.Notify(DL_CODE_MESSAGE, 7.9, L"重定向");
    ASSERT_EQ(w.events.size(), 1u);
    EXPECT_EQ(w.events[0].name, L"下载失败原因");
    EXPECT_EQ(w.events[0].reason, L":1.code=7；2.msg=重定向");
    EXPECT_TRUE(w.dialogs.empty());
}

TEST(NotifyMailbox, HandsEachRecordBackOnceAndNothingItDidNotHandOut) {
    NotifyMailbox mailbox;
    NotifyRecord* a = mailbox.Add(DL_CODE_PROGRESS, 0.25, L"");
    NotifyRecord* b = mailbox.Add(IST_RESULT_INST_PATH, 0.0, L"C:\\x");
    NotifyRecord foreign;
    int stackValue = 0;
    EXPECT_EQ(mailbox.Take(&foreign), nullptr);
    EXPECT_EQ(mailbox.Take(&stackValue), nullptr);
    EXPECT_EQ(mailbox.Take(nullptr), nullptr);

    auto taken = mailbox.Take(b);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->code, IST_RESULT_INST_PATH);
    EXPECT_EQ(taken->text, L"C:\\x");
    EXPECT_EQ(mailbox.Take(b), nullptr) << "a record is handled once";

    mailbox.Discard(a);  // its message could not be posted
    EXPECT_EQ(mailbox.Pending(), 0u);
    mailbox.Add(DL_CODE_START, 0.0, L"never delivered");  // freed with the mailbox (checked by the sanitizer builds)
}

TEST(NotifyMailbox, RecordsFromSeveralWorkersAreAllHandedBack) {
    NotifyMailbox mailbox;
    std::vector<NotifyRecord*> posted[2];
    std::thread workers[2];
    for (int t = 0; t < 2; ++t)
        workers[t] = std::thread([&, t] {
            for (int i = 0; i < 500; ++i) posted[t].push_back(mailbox.Add(t, i, L""));
        });
    for (auto& w : workers) w.join();
    int taken = 0;
    for (auto& list : posted)
        for (NotifyRecord* r : list) taken += mailbox.Take(r) != nullptr;
    EXPECT_EQ(taken, 1000);
    EXPECT_EQ(mailbox.Pending(), 0u);
}

}  // namespace
