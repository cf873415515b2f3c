// The transport, the tracker and the installer's reporting calls against the
// local collector (started by the test fixture, see CMakeLists.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <regex>
#include <thread>

#include "analytics/reporting.h"
#include "analytics/tracker.h"
#include "analytics/zm_core.h"
#include "analytics/zm_transport.h"
#include "config/launch_config.h"
#include "support.h"
#include "tests/common/host_path.h"
#include "tests/common/temp_dir.h"
#include "utils/child_process.h"
#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/log.h"
#include "utils/text.h"

using namespace zm_analytics;
using namespace zelmox::analytics;
using analytics_test::Collector;
using analytics_test::StreamCapture;
using testing_support::TempDir;

namespace {

std::string Rec(int n) { return "{\"n\":" + std::to_string(n) + "}"; }

class Wire : public testing::Test {
protected:
    void SetUp() override {
        if (!m_collector.Available()) GTEST_SKIP() << "no collector (run through ctest)";
        m_collector.Reset();
        Sdk::Shutdown();
    }
    void TearDown() override {
        GlobalTracker.reset();
        Sdk::Shutdown();
        Utils::SetLogSink(nullptr);
    }
    std::vector<int> Numbers() {
        std::vector<int> out;
        for (const auto& r : m_collector.Records()) out.push_back(r["n"].asInt());
        return out;
    }
    std::vector<int> Batches() {
        std::vector<int> out;
        const Json::Value stats = m_collector.Stats();
        for (const auto& b : stats["batches"]) out.push_back(b.asInt());
        return out;
    }
    ZmTrackerConfig Config(int edition = 0) {
        ZmTrackerConfig c;
        c.appName = "velqordoc.downloader";
        c.appVersion = "1.7.9";
        c.appStore = "velqor-setup.exe";
        c.dlAppId = "velqordoc";
        c.edition = edition;
        c.serverUrl = m_collector.Url();
        c.baseFolder = Utils::WideToAnsi(m_dir.Path());
        return c;
    }
    std::string StagingFile() { return Utils::WideToAnsi(m_dir.File(L"queue.txt")); }

    Collector m_collector;
    TempDir m_dir;
};

TEST_F(Wire, SixtyFiveRecordsLeaveAsThirtyThirtyFive) {
    RecordQueue q(m_collector.Url(), "");
    for (int i = 0; i < 65; ++i) q.Add(Rec(i));
    EXPECT_TRUE(q.Flush());
    EXPECT_EQ(Batches(), (std::vector<int>{30, 30, 5}));
    auto n = Numbers();
    ASSERT_EQ(n.size(), 65u);
    for (int i = 0; i < 65; ++i) EXPECT_EQ(n[i], i);
    EXPECT_TRUE(q.LastSendSucceeded());
    EXPECT_EQ(m_collector.Stats()["rejected"].asInt(), 0);
}

TEST_F(Wire, FailedBatchGoesFirstAtTheNextFlush) {
    const struct {
        const char* mode;
    } failures[] = {{"500"}, {"201"}, {"close"}};
    for (const auto& f : failures) {
        m_collector.Reset();
        RecordQueue q(m_collector.Url(), "");
        for (int i = 0; i < 5; ++i) q.Add(Rec(i));
        m_collector.Mode(f.mode, 1);
        {
            StreamCapture err(std::cerr);
            EXPECT_FALSE(q.Flush()) << f.mode;
            EXPECT_NE(err.Text().find("ZmAnalytics SDK send failed: "), std::string::npos);
        }
        EXPECT_FALSE(q.LastSendSucceeded());
        EXPECT_EQ(q.Size(), 5u);
        for (int i = 5; i < 8; ++i) q.Add(Rec(i));
        EXPECT_TRUE(q.Flush());
        EXPECT_EQ(Numbers(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7})) << f.mode;
    }
}

TEST_F(Wire, ReplyPastTheTimeoutIsAFailure) {
    RecordQueue q(m_collector.Url(), "");
    q.Add(Rec(1));
    m_collector.Mode("delay", 1);
    StreamCapture err(std::cerr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(q.Flush());  // the real 3-second limit
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(2500));
    EXPECT_EQ(q.Size(), 1u);
    EXPECT_TRUE(q.Flush());
    EXPECT_EQ(Numbers(), std::vector<int>{1});
}

TEST_F(Wire, BodiesAreStrictlyEncoded) {
    // Every byte value in the records, so the Base64 text has "+", "/" and "=".
    RecordQueue q(m_collector.Url(), "");
    for (int i = 0; i < 40; ++i) {
        std::string s;
        for (int j = 0; j < 64; ++j) s += static_cast<char>('!' + (i * 7 + j * 13) % 90);
        std::string json = "{\"n\":" + std::to_string(i) + ",\"s\":\"";
        for (char c : s) json += (c == '"' || c == '\\') ? '_' : c;
        q.Add(json + "\",\"u\":\"\xE4\xB8\xAD\xE6\x96\x87\"}");
    }
    EXPECT_TRUE(q.Flush());
    auto stats = m_collector.Stats();
    EXPECT_EQ(stats["rejected"].asInt(), 0) << stats["errors"];
    auto recs = m_collector.Records();
    ASSERT_EQ(recs.size(), 40u);
    EXPECT_EQ(recs[39]["u"].asString(), "\xE4\xB8\xAD\xE6\x96\x87");
    std::string body;
    ASSERT_TRUE(EncodeBatch("[{\"a\":\"\xFF\xFE?>>\"}]", body));
    EXPECT_TRUE(std::regex_match(body, std::regex("data_list=([A-Za-z0-9]|%[0-9A-F]{2})+&gzip=1")));
}

TEST_F(Wire, StagedRecordsAreSentFirstByTheNextRun) {
    {
        RecordQueue first(m_collector.Url(), StagingFile());
        for (int i = 0; i < 10; ++i) first.Add(Rec(i));
        first.Close();
    }
    std::string staged;
    ASSERT_TRUE(Utils::ReadFileBytes(Utils::AnsiToWide(StagingFile()), staged));
    EXPECT_EQ(std::count(staged.begin(), staged.end(), '\n'), 10);
    // Lines that are not records are skipped when loading.
    Utils::AppendFileBytes(Utils::AnsiToWide(StagingFile()), "garbage\n\n{broken\n");
    RecordQueue next(m_collector.Url(), StagingFile());
    next.Add(Rec(100));
    next.Add(Rec(101));
    EXPECT_TRUE(next.Flush());
    EXPECT_EQ(Numbers(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 100, 101}));
    EXPECT_EQ(Utils::GetFileSize(Utils::AnsiToWide(StagingFile())), 0);
}

// Every queued record is in the staging file at once: a run that never
// closes its queue (killed) leaves them for the next run, whose reading drops
// the line torn by the kill and anything else that is not a record.
TEST_F(Wire, RecordsOfARunThatNeverClosedAreSentByTheNext) {
    {
        RecordQueue killed(m_collector.Url(), StagingFile());
        for (int i = 0; i < 5; ++i) killed.Add(Rec(i));
    }  // no Close
    Utils::AppendFileBytes(Utils::AnsiToWide(StagingFile()), "not a record\n{\"n\":99");
    StreamCapture err(std::cerr);
    RecordQueue next(m_collector.Url(), StagingFile());
    EXPECT_NE(err.Text().find("2 unreadable staged lines dropped"), std::string::npos) << err.Text();
    next.Add(Rec(100));
    EXPECT_TRUE(next.Flush());
    EXPECT_EQ(Numbers(), (std::vector<int>{0, 1, 2, 3, 4, 100}));
    EXPECT_EQ(Utils::GetFileSize(Utils::AnsiToWide(StagingFile())), 0);
}

// A batch that fails stays in the file, one that is sent leaves it.
TEST_F(Wire, TheStagingFileFollowsTheQueue) {
    RecordQueue q(m_collector.Url(), StagingFile());
    for (int i = 0; i < 35; ++i) q.Add(Rec(i));
    auto staged = [&] {
        std::string bytes;
        Utils::ReadFileBytes(Utils::AnsiToWide(StagingFile()), bytes);
        return static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n'));
    };
    EXPECT_EQ(staged(), 35);
    m_collector.Mode("500", 1);
    {
        StreamCapture err(std::cerr);
        EXPECT_FALSE(q.Flush());
    }
    EXPECT_EQ(staged(), 35);
    EXPECT_TRUE(q.FlushPart());
    EXPECT_EQ(staged(), 5);
    EXPECT_TRUE(q.Flush());
    EXPECT_EQ(staged(), 0);
    EXPECT_FALSE(Utils::FileExists(Utils::AnsiToWide(StagingFile() + ".tmp")));
}

// A staging file too large to be a queue, or one of garbage, is skipped
// with a diagnostic line; the queue works on.
TEST_F(Wire, HugeOrGarbageStagingFileIsSkipped) {
    const struct {
        const char* name;
        std::string content;
        const char* diagnostic;
    } rows[] = {
        {"Huge", std::string(RecordQueue::kMaxStagingBytes + 1, '{'), "bytes skipped"},
        {"Garbage", std::string(100000, '\xFF') + "\n\x01\x02}\n{", "unreadable staged lines dropped"},
    };
    for (const auto& r : rows) {
        m_collector.Reset();
        ASSERT_TRUE(Utils::WriteFileBytes(Utils::AnsiToWide(StagingFile()), r.content));
        StreamCapture err(std::cerr);
        RecordQueue q(m_collector.Url(), StagingFile());
        EXPECT_NE(err.Text().find(r.diagnostic), std::string::npos) << r.name << ": " << err.Text();
        q.Add(Rec(1));
        EXPECT_TRUE(q.Flush()) << r.name;
        EXPECT_EQ(Numbers(), std::vector<int>{1}) << r.name;
        EXPECT_EQ(Utils::GetFileSize(Utils::AnsiToWide(StagingFile())), 0) << r.name;
    }
}

TEST_F(Wire, CrashRecordsAreWrittenOnceWithTheirTimeAndSentByTheNextRun) {
    const int64_t before = NowMilliseconds();
    {
        RecordQueue crashed(m_collector.Url(), StagingFile());
        crashed.Add(Rec(1));
        EXPECT_FALSE(crashed.WriteCrashRecords());  // nothing prepared yet
        crashed.PrepareCrashRecords({"{\"n\":2,\"time\":5,\"type\":\"track\"}", "no time in it"});
        EXPECT_TRUE(crashed.WriteCrashRecords());
        EXPECT_FALSE(crashed.WriteCrashRecords());
    }
    RecordQueue next(m_collector.Url(), StagingFile());
    EXPECT_TRUE(next.Flush());
    auto recs = m_collector.Records();
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0]["n"].asInt(), 1);
    EXPECT_EQ(recs[1]["n"].asInt(), 2);
    EXPECT_GE(recs[1]["time"].asInt64(), before);
    EXPECT_EQ(recs[1]["type"].asString(), "track");
}

std::wstring CrashHelper() { return testing_support::HostPath(VELQOR_CRASH_HELPER); }

// A real installer process that is killed, or that crashes: the next run
// that sends delivers its records first (with the crash report's).
TEST_F(Wire, AKilledOrCrashedRunIsSentByTheNextRun) {
    for (const char* mode : {"kill", "crash"}) {
        m_collector.Reset();
        TempDir base;
        Utils::ChildProcess child;
        child.Launch(L"\"" + CrashHelper() + L"\" " + Utils::Utf8ToWide(mode) + L" \"" + base.Path() + L"\"");
        std::string out;
        while (child.ReadChunk(out)) {
        }
        child.WaitForExit();
        child.Close();
        EXPECT_EQ(m_collector.Stats()["posts"].asInt(), 0) << mode;

        LaunchConfig saved = GetLaunchConfig();
        GetLaunchConfig().IsEnableAppAnalytics = true;
        GetLaunchConfig().AnalyticsUrl = Utils::Utf8ToWide(m_collector.Url());
        AnalyticsPlacement placement;
        placement.baseFolder = Utils::WideToAnsi(base.Path());
        InitAnalytics(placement);
        ReportTaskEvent(L"大包下载完毕", 1, L"second run", {{L"AB", L"IN"}});
        ShutdownAnalytics();
        GetLaunchConfig() = saved;

        std::vector<std::string> seen;
        for (const auto& r : m_collector.Records()) {
            std::string e = r["event"].asString();
            seen.push_back(e == "ZmEventTask" ? r["properties"]["zm_task_name"].asString() + "/" +
                                                    r["properties"]["zm_reason"].asString()
                                              : e);
        }
        std::vector<std::string> expected = {"下载器启动/first run 0", "下载器启动/first run 1",
                                             "下载器启动/first run 2"};
        if (std::string(mode) == "crash") {
            expected.push_back("崩溃退出/");
            expected.push_back("AppCrashed");
        }
        expected.push_back("大包下载完毕/second run");
        EXPECT_EQ(seen, expected) << mode;
    }
}

TEST_F(Wire, FullQueueDropsTheOldest) {
    RecordQueue q(m_collector.Url(), "", 10000);
    for (int i = 0; i < 1030; ++i) q.Add(Rec(i));
    EXPECT_TRUE(q.Flush());
    auto n = Numbers();
    ASSERT_EQ(n.size(), 1024u);
    EXPECT_EQ(n.front(), 6);
    EXPECT_EQ(n.back(), 1029);
    EXPECT_EQ(Batches().size(), 35u);
}

TEST_F(Wire, AfterAFailedSendTrackCallsFlushAsynchronously) {
    std::mutex lock;
    int asyncLines = 0;
    Utils::SetLogSink([&](const std::wstring& line) {
        std::lock_guard<std::mutex> g(lock);
        if (line.find(L"[Sensors] Sending messages asynchronously") != std::wstring::npos) ++asyncLines;
    });
    auto tracker = MakeAnalyticsTracker(Config());
    ZmContextProperties ctx;
    ZmEventClick click;
    click.name = "c";
    tracker->trackClick(click, ctx);
    tracker->trackClick(click, ctx);
    {
        std::lock_guard<std::mutex> g(lock);
        EXPECT_EQ(asyncLines, 2);
    }
    // A successful send puts the flush back on the calling thread.
    ASSERT_TRUE(Sdk::Flush());
    tracker->trackClick(click, ctx);
    {
        std::lock_guard<std::mutex> g(lock);
        EXPECT_EQ(asyncLines, 2);
    }
    tracker.reset();
    EXPECT_EQ(m_collector.Records().size(), 3u);
}

TEST_F(Wire, DestructionMakesAtMostThreeAttemptsAndStagesTheRest) {
    m_collector.Mode("500");
    auto tracker = MakeAnalyticsTracker(Config());
    ZmContextProperties ctx;
    ZmEventTask task;
    task.name = "t";
    for (int i = 0; i < 10; ++i) tracker->trackTask(task, ctx);
    {
        StreamCapture err(std::cerr);
        tracker.reset();
    }
    EXPECT_EQ(m_collector.Stats()["posts"].asInt(), 3);
    // The next run sends them first.
    m_collector.Reset();
    tracker = MakeAnalyticsTracker(Config());
    ZmEventClick click;
    click.name = "after";
    tracker->trackClick(click, ctx);
    tracker.reset();
    auto recs = m_collector.Records();
    ASSERT_EQ(recs.size(), 11u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(recs[i]["event"].asString(), "ZmEventTask");
    EXPECT_EQ(recs[10]["properties"]["zm_name"].asString(), "after");
    std::string staging = Utils::WideToAnsi(m_dir.Path()) + "\\ZMLocal\\velqordoc.downloader\\velqordoc.downloader_ZMSQueue.txt";
    EXPECT_EQ(Utils::GetFileSize(Utils::AnsiToWide(staging)), 0);
}

TEST_F(Wire, EditionTwoLeavesAWrapperThatStillQueues) {
    auto tracker = MakeAnalyticsTracker(Config(2));
    ZmContextProperties ctx;
    ZmEventTask task;
    task.name = "t";
    tracker->trackTask(task, ctx);
    EXPECT_EQ(Sdk::Queue()->Size(), 1u);
    tracker.reset();
    auto recs = m_collector.Records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_FALSE(recs[0]["properties"].isMember("zm_edition"));
    EXPECT_EQ(recs[0]["properties"]["zm_task_name"].asString(), "t");
}

TEST_F(Wire, ConcurrentTrackingWhileFlushing) {
    auto tracker = MakeAnalyticsTracker(Config());
    constexpr int kThreads = 8, kPerThread = 60;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&tracker, t] {
            ZmContextProperties ctx;
            ctx.setProperty({Task, Click}, "IN");
            for (int i = 0; i < kPerThread; ++i) {
                ZmEventTask task;
                task.name = "t" + std::to_string(t);
                tracker->trackTask(task, ctx);
                if (i % 20 == 0) {
                    ZmEventClick click;
                    click.name = "c";
                    tracker->trackClick(click, ctx);
                    Sdk::Flush();
                }
                if (i % 30 == 0) tracker->trackCrash("x");
            }
        });
    }
    for (auto& th : threads) th.join();
    tracker.reset();
    auto recs = m_collector.Records();
    EXPECT_EQ(recs.size(), static_cast<size_t>(kThreads * (kPerThread + 3 + 2)));
}

// ---- the installer's reporting calls -----------------------------------------------

class Reporting : public Wire {
protected:
    void SetUp() override {
        Wire::SetUp();
        if (IsSkipped()) return;
        m_saved = GetLaunchConfig();
        GetLaunchConfig().AnalyticsUrl = Utils::Utf8ToWide(m_collector.Url());
        Utils::GetEnv(L"APPDATA", m_savedAppData);
        Utils::SetEnv(L"APPDATA", m_appData.Path());
    }
    void TearDown() override {
        ShutdownAnalytics();
        if (!IsSkipped()) {
            GetLaunchConfig() = m_saved;
            Utils::SetEnv(L"APPDATA", m_savedAppData);
        }
        Wire::TearDown();
    }
    AnalyticsPlacement Placement() {
        AnalyticsPlacement p;
        p.baseFolder = Utils::WideToAnsi(m_dir.Path());
        return p;
    }
    LaunchConfig m_saved;
    std::wstring m_savedAppData;
    TempDir m_appData;
    TempDir m_install;
};

TEST_F(Reporting, SwitchedOffSendsNothingButWritesTheHandOff) {
    GetLaunchConfig().IsEnableAppAnalytics = false;
    ReportTaskEvent(L"dropped", 0, L"", {{L"AB", L"IN"}});  // before InitAnalytics
    InitAnalytics(Placement());
    EXPECT_FALSE(GlobalTracker);
    ReportTaskEvent(L"下载器启动", 0, L"", {{L"AB", L"IN"}});
    ReportClickEvent(L"立即安装", {{L"AB", L"IN"}});
    ReportViewEvent({{L"AB", L"IN"}});
    ReportCrash();
    ShutdownAnalytics();
    EXPECT_FALSE(Utils::DirectoryExists(m_dir.File(L"ZMLocal")));
    EXPECT_EQ(m_collector.Stats()["posts"].asInt(), 0);

    const std::wstring setIni = m_install.File(L"set.ini");
    WriteAnalyticsHandOff(m_install.Path());
    std::wstring first = Utils::IniReadString(setIni, L"Install", L"DeviceID", L"");
    WriteAnalyticsHandOff(m_install.Path());
    std::wstring second = Utils::IniReadString(setIni, L"Install", L"DeviceID", L"");
    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(second.size(), 32u);
    EXPECT_NE(first, second);
    EXPECT_EQ(Utils::IniReadString(setIni, L"Install", L"AppName", L""), L"velqordoc");
    EXPECT_EQ(Utils::IniReadString(setIni, L"Install", L"APPStore", L""),
              Utils::FileNameOf(Utils::GetModulePath()));
    std::wstring analyticsIni = Utils::IniReadString(setIni, L"Install", L"ZMAnalyticsIni", L"");
    EXPECT_EQ(analyticsIni, m_appData.Path() + L"\\ZelMoxData\\velqordoc\\ZMAnalytics.ini");
    std::wstring updated = Utils::IniReadString(analyticsIni, L"Init", L"UpdateTime", L"");
    EXPECT_TRUE(std::regex_match(Utils::WideToUtf8(updated),
                                 std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})")))
        << Utils::WideToUtf8(updated);
}

TEST_F(Reporting, AServerNamedOnTheCommandLineTakesOverTheTrackerMadeFromTheFile) {
    // The tracker is made from the configuration file's server (nothing
    // listens there), then the command line names the collector.
    GetLaunchConfig().IsEnableAppAnalytics = true;
    GetLaunchConfig().AnalyticsUrl = L"http://127.0.0.1:9/sa?project=pc";
    InitAnalytics(Placement());
    ASSERT_TRUE(GlobalTracker);
    GetLaunchConfig().ParseCommandLine(L"velqor-setup.exe -analyticsurl=" + Utils::Utf8ToWide(m_collector.Url()));
    SetAnalyticsServer(GetLaunchConfig().AnalyticsUrl);
    ReportTaskEvent(L"下载器启动", 0, L"", {{L"AB", L"IN"}});
    ShutdownAnalytics();
    auto recs = m_collector.Records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0]["properties"]["zm_task_name"].asString(), "下载器启动");
    // The identity remembers the server it now belongs to.
    const std::string settings =
        Utils::WideToAnsi(m_dir.Path()) + "\\ZMLocal\\velqordoc.downloader\\velqordoc.downloader_ZMSConfigure.ini";
    EXPECT_EQ(Utils::IniReadStringA(settings, "Base", "URL", ""), m_collector.Url());

    // Naming the server the tracker already uses changes nothing; without a
    // tracker the call does nothing.
    m_collector.Reset();
    InitAnalytics(Placement());
    SetAnalyticsServer(Utils::Utf8ToWide(m_collector.Url()));
    ReportTaskEvent(L"大包下载完毕", 1, L"", {{L"AB", L"IN"}});
    ShutdownAnalytics();
    SetAnalyticsServer(L"http://127.0.0.1:9/sa?project=pc");
    EXPECT_EQ(m_collector.Records().size(), 1u);
}

TEST_F(Reporting, EventsCarryTheGroupFirstTimeAndSuccess) {
    GetLaunchConfig().IsEnableAppAnalytics = true;
    InitAnalytics(Placement());
    ASSERT_TRUE(GlobalTracker);
    ReportTaskEvent(L"下载失败原因", 0, L":1.code=404；2.msg=x", {{L"AB", L"IN"}});
    ReportTaskEvent(L"大包下载完毕", 12.5f, L"", {{L"AB", L"IN"}, {L"other", L"ignored"}});
    ReportClickEvent(L"立即安装", {{L"AB", L"IN"}});
    ReportViewEvent({{L"AB", L"IN"}});
    ReportCrash();
    ShutdownAnalytics();
    EXPECT_FALSE(GlobalTracker);
    ReportCrash();  // after shutdown: dropped
    auto recs = m_collector.Records();
    ASSERT_EQ(recs.size(), 5u);
    int tasks = 0, clicks = 0, views = 0, crashes = 0;
    for (const auto& r : recs) {
        const auto& p = r["properties"];
        std::string event = r["event"].asString();
        EXPECT_EQ(p["zm_app_id"].asString(), "velqordoc.downloader");
        EXPECT_EQ(p["zm_dlapp_id"].asString(), "velqordoc");
        EXPECT_EQ(p["$app_version"].asString(), GetLaunchConfig().AppVersion.empty()
                                                    ? p["$app_version"].asString()
                                                    : Utils::WideToUtf8(GetLaunchConfig().AppVersion));
        if (event == "AppCrashed") {
            ++crashes;
            EXPECT_EQ(p["app_crashed_reason"].asString(), "崩溃");
            EXPECT_FALSE(p.isMember("zmc_ab"));
            continue;
        }
        EXPECT_EQ(p["zmc_ab"].asString(), "IN") << event;
        EXPECT_TRUE(p["$is_first_time"].asBool()) << event;
        if (event == "ZmEventTask") {
            ++tasks;
            EXPECT_EQ(p["zm_task_result"].asString(), "Success");
            EXPECT_FALSE(p.isMember("other"));
            if (p["zm_task_name"].asString() == "大包下载完毕") {
                EXPECT_DOUBLE_EQ(p["zm_task_elapsed"].asDouble(), 12.5);
            } else {
                EXPECT_EQ(p["zm_reason"].asString(), ":1.code=404；2.msg=x");
            }
        } else if (event == "ZmEventClick") {
            ++clicks;
            EXPECT_EQ(p["zm_name"].asString(), "立即安装");
            EXPECT_EQ(p["zm_click_type"].asString(), "Button");
        } else if (event == "ZmEventView") {
            ++views;
            EXPECT_EQ(p["zm_name"].asString(), "安装中");
        }
    }
    EXPECT_EQ(tasks, 2);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(views, 1);
    EXPECT_EQ(crashes, 1);
    EXPECT_TRUE(Utils::DirectoryExists(m_dir.File(L"ZMLocal")));
}

}  // namespace
