// The event catalogue, its enumerations and checks, context properties,
// identity and the environment texts, without a server.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>

#include "analytics/tracker.h"
#include "analytics/zm_core.h"
#include "analytics/zm_transport.h"
#include "support.h"
#include "tests/common/temp_dir.h"
#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/text.h"

using namespace zelmox::analytics;
using analytics_test::ParseJson;
using analytics_test::StreamCapture;
using testing_support::TempDir;

namespace {

std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ZmException& e) {
        return e.what();
    }
    return "(no exception)";
}

TEST(Enumerations, TextsAndMessages) {
    const struct {
        std::string (*fn)(int, const char*);
        int value;
        const char* expected;
    } cases[] = {
        {ResultText, 0, "Success"},          {ResultText, 3, "Unknown"},
        {ResultText, 4, "Unknown task result [4]!"}, {ResultText, -1, "Unknown task result [-1]!"},
        {ClickTypeText, 4, "Others"},        {ClickTypeText, 5, "Unknown ClickType [5]!"},
        {IOTypeText, 1, "Output"},           {IOTypeText, 2, "the io type is invalid"},
        {UserTypeText, 9, "zelmoxuserid"},   {UserTypeText, 11, "facebook"},
        {UserTypeText, 12, "Unknown user type [12]!"},
        {CurrencyText, 0, "CNY"},            {CurrencyText, 10, "GBP"},
        {CurrencyText, 11, "Unknown currency [11]!"},
        {PaidPlatformText, 9, "ChinaUnionPay"}, {PaidPlatformText, 10, "Unknown paid platform [10]!"},
        {IapTypeText, 1, "Consumable"},      {IapTypeText, 4, "NonRenewable"},
        {IapTypeText, 0, "Unknown zmIapType [0]!"},
        {UpdateOpText, 3, "UpgrateStart"},   {UpdateOpText, 5, "Unknown ZmUpdateOp [5]!"},
        {UpdateResultText, 5, "Updateable"}, {UpdateResultText, 6, "Unknown ZmUpdateResult [6]!"},
        {EventTypeText, 1, "PaLaunchPal"},   {EventTypeText, 14, "AppOpenNotification"},
        {EventTypeText, 15, "Unknown Event [15]!"},
        {EditionText, 1, "overseas"},        {EditionText, 2, "Unknown edition [2]!"},
    };
    for (const auto& c : cases) {
        std::string got;
        try {
            got = c.fn(c.value, "test");
        } catch (const ZmException& e) {
            got = e.what();
            EXPECT_EQ(e.Function(), "test");
        }
        EXPECT_EQ(got, c.expected) << c.value;
    }
}

TEST(ContextProperties, AbValueCheck) {
    const struct {
        const char* text;
        const char* outcome;  // "true", "false" or the message
    } cases[] = {
        {"IN", "true"}, {"A", "true"}, {"A1", "true"}, {"Ab", "true"}, {"Z9z", "true"}, {"", "false"},
        {"ABCD", "value's length is great than 3."}, {"aB", "First char is not in A to Z"},
        {"1A", "First char is not in A to Z"}, {"A-", "second char is not in A to Z and 0 to 9"},
        {"AB_", "third char is not in A to Z and 0 to 9"},
    };
    for (const auto& c : cases) {
        std::string got;
        try {
            got = ZmContextProperties::isValidABValue(c.text) ? "true" : "false";
        } catch (const ZmException& e) {
            got = e.what();
            EXPECT_EQ(e.File(), "ZmContextProperties");
            EXPECT_EQ(e.Function(), "isValidABValue");
        }
        EXPECT_EQ(got, c.outcome) << c.text;
    }
}

TEST(ContextProperties, SetOnceAndKindBounds) {
    ZmContextProperties ctx;
    ctx.setProperty({Task, Click}, "IN");
    EXPECT_EQ(ctx.getEventProperties(Task).size(), 1u);
    EXPECT_EQ(ctx.getEventProperties(Click)[0].key, "zmc_ab");
    EXPECT_TRUE(ctx.getEventProperties(View).empty());
    EXPECT_EQ(MessageOf([&] { ctx.setProperty({View}, "B"); }), "Property[zmc_ab] already exist!");
    ZmContextProperties other;
    EXPECT_EQ(MessageOf([&] { other.setProperty({View, 15}, "B"); }), "ZmEvent[15] overflow!");
    EXPECT_EQ(other.getEventProperties(View).size(), 1u);  // kinds before the bad one got their entry
    EXPECT_EQ(MessageOf([&] { other.getEventProperties(15); }), "ZmEvent[15] overflow!");
}

TEST(Environment, OsVersionNamesAndUserAgent) {
    const struct {
        uint32_t major, minor, build;
        bool is64, r2;
        const char* name;
    } cases[] = {
        {4, 0, 0, false, false, "XP-"},  {5, 0, 0, false, false, "2K"},    {5, 1, 0, false, false, "XP"},
        {5, 2, 0, true, false, "XP64"},  {5, 2, 0, false, true, "Server 2003 R2"},
        {5, 2, 0, false, false, "Server 2003"}, {5, 3, 0, false, false, "XP+"},
        {6, 0, 0, true, false, "Vista64"}, {6, 0, 0, false, false, "Vista"}, {6, 1, 0, true, false, "7"},
        {6, 1, 0, false, false, "7-32"}, {6, 2, 0, true, false, "8"},      {6, 2, 0, false, false, "8-32"},
        {6, 3, 0, false, false, "8.1"},  {6, 4, 0, false, false, "8.1+"},
        {10, 0, 19045, true, false, "10"}, {10, 0, 22000, true, false, "11"},
        {10, 0, 0x10000 + 22631, true, false, "11"}, {10, 1, 0, true, false, "11+"},
        {11, 2, 0x12345, true, false, "11.2.9029"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AnalyticsTrackerImpl::OsVersionNameFromNumbers(c.major, c.minor, c.build, c.is64, c.r2), c.name);
    std::string ua = AnalyticsTrackerImpl::UserAgent();
    EXPECT_EQ(ua, "Mozilla/5.0(Windows " + AnalyticsTrackerImpl::OsVersionName() + "; Win" +
                      (AnalyticsTrackerImpl::Is64BitWindows() ? "64;)" : "32;)"));
    std::string id = AnalyticsTrackerImpl::NewDistinctId();
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")))
        << id;
}

TEST(UserProfile, FamiliesDispatchOrRaise) {
    EXPECT_EQ(NativeUserTracker::OperationOf("zm_paid_count"), NativeUserTracker::Increment);
    EXPECT_EQ(NativeUserTracker::OperationOf("zm_first_paid_date"), NativeUserTracker::SetOnce);
    EXPECT_EQ(NativeUserTracker::OperationOf("zm_city"), NativeUserTracker::Set);
    EXPECT_EQ(NativeUserTracker::OperationOf("nope"), -1);
    const struct {
        std::function<void()> call;
        const char* message;
    } cases[] = {
        {[] { NativeUserTracker::ProfileUserPropertyString("zm_visit_count", "x"); },
         "user property [zm_visit_count] is string type value, it cannot be accumulated!"},
        {[] { NativeUserTracker::ProfileUserPropertyString("nope", "x"); }, "Not supported user property [nope]!"},
        {[] { NativeUserTracker::ProfileUserPropertyNumber("nope", int64_t{1}); },
         "Not supported user property [nope]!"},
        {[] { NativeUserTracker::ProfileUserPropertyDateTime("zm_paid_count", 1, 0); },
         "user property [zm_paid_count] is boolean value, it cannot be accumulative!"},
        {[] { NativeUserTracker::ProfileUserPropertyDateTime("nope", 1, 0); }, "Not supported user property [nope]!"},
        {[] { NativeUserTracker::ProfileUserPropertyString("zm_city", "x"); }, "(no exception)"},
    };
    for (const auto& c : cases) EXPECT_EQ(MessageOf(c.call), c.message);
}

// A tracker whose data folder is a temporary one and whose server is a closed
// port: records are read from the core's queue.
class Catalogue : public testing::Test {
protected:
    void SetUp() override {
        zm_analytics::Sdk::Shutdown();
        ZmTrackerConfig c;
        c.baseFolder = Utils::WideToAnsi(m_dir.Path());
        c.appName = "velqordoc.downloader";
        c.appVersion = "1.7.9";
        c.appStore = "velqor-setup.exe";
        c.dlAppId = "velqordoc";
        c.serverUrl = "http://127.0.0.1:9/sa?project=pc";
        m_impl = std::make_unique<AnalyticsTrackerImpl>(c);
        m_impl->init();
    }
    void TearDown() override {
        m_impl.reset();
    }
    // Properties of the last queued record (with the event name checked).
    Json::Value Last(const std::string& event) {
        auto r = zm_analytics::Sdk::Queue()->Snapshot();
        if (r.empty()) return Json::Value();
        auto rec = ParseJson(r.back());
        EXPECT_EQ(rec["event"].asString(), event);
        return rec["properties"];
    }
    size_t Queued() { return zm_analytics::Sdk::Queue()->Snapshot().size(); }

    TempDir m_dir;
    std::unique_ptr<AnalyticsTrackerImpl> m_impl;
    ZmContextProperties m_ctx;
};

TEST_F(Catalogue, TaskResultsAndKeys) {
    ZmEventTask t;
    t.name = "下载器启动";
    t.reason = "r";
    t.elapsed = std::make_shared<float>(1.5f);
    t.result = std::make_shared<int>(Fail);
    m_impl->trackTask(t, m_ctx);
    auto p = Last("ZmEventTask");
    EXPECT_EQ(p["zm_task_name"].asString(), "下载器启动");
    EXPECT_EQ(p["zm_reason"].asString(), "r");
    EXPECT_DOUBLE_EQ(p["zm_task_elapsed"].asDouble(), 1.5);
    EXPECT_EQ(p["zm_task_result"].asString(), "Fail");
    EXPECT_TRUE(p["$is_first_time"].asBool());
    EXPECT_FALSE(p.isMember("zm_aname"));
    EXPECT_EQ(p["zm_app_id"].asString(), "velqordoc.downloader");
    EXPECT_EQ(p["zm_sdk_version"].asString(), "3.3.8");
    EXPECT_EQ(p["zm_edition"].asString(), "china");
    for (int result : {3, 5}) {
        t.result = std::make_shared<int>(result);
        m_impl->trackTask(t, m_ctx);
        EXPECT_FALSE(Last("ZmEventTask").isMember("zm_task_result")) << result;
    }
    t.name.clear();
    EXPECT_EQ(MessageOf([&] { m_impl->trackTask(t, m_ctx); }), "zmEventTask.name is empty");
    EXPECT_EQ(Queued(), 3u);
}

TEST_F(Catalogue, ClickViewCashierShareFile) {
    ZmEventClick click;
    click.name = "立即安装";
    m_impl->trackClick(click, m_ctx);
    EXPECT_EQ(Last("ZmEventClick")["zm_click_type"].asString(), "Others");
    click.clickType = 7;
    EXPECT_EQ(MessageOf([&] { m_impl->trackClick(click, m_ctx); }), "Unknown ClickType [7]!");

    ZmEventView view;
    EXPECT_EQ(MessageOf([&] { m_impl->trackView(view, m_ctx); }), "zmEventView.name is empty");
    view.name = "安装中";
    view.title = "t";
    m_impl->trackView(view, m_ctx);
    EXPECT_EQ(Last("ZmEventView")["zm_title"].asString(), "t");

    ZmEventCashier cashier;
    EXPECT_EQ(MessageOf([&] { m_impl->trackCashier(cashier, m_ctx); }), "zmEventCashier.zm_cashier_name is empty");

    ZmEventShare share;
    share.result = std::make_shared<int>(5);
    EXPECT_EQ(MessageOf([&] { m_impl->trackShare(share, m_ctx); }), "Unknown task result [5]!");
    share.result = std::make_shared<int>(Unknown);
    m_impl->trackShare(share, m_ctx);
    EXPECT_EQ(Last("ZmEventShare")["zm_result"].asString(), "Unknown");

    ZmEventFile file;
    EXPECT_EQ(MessageOf([&] { m_impl->trackFile(file, m_ctx); }), "zmEventFile.aname is empty");
    file.aname = "a";
    file.io = std::make_shared<int>(2);
    EXPECT_EQ(MessageOf([&] { m_impl->trackFile(file, m_ctx); }), "the io type is invalid");
    file.io = std::make_shared<int>(Input);
    file.size = std::make_shared<float>(0.f);
    file.width = std::make_shared<int>(640);
    file.result = std::make_shared<int>(Unknown);
    m_impl->trackFile(file, m_ctx);
    auto p = Last("ZmEventFile");
    EXPECT_EQ(p["zm_io"].asString(), "Input");
    EXPECT_FALSE(p.isMember("zm_size"));
    EXPECT_FALSE(p.isMember("zm_result"));
    EXPECT_EQ(p["zm_width"].asInt(), 640);
}

TEST_F(Catalogue, OrderPaymentUpdateAppOpenRules) {
    ZmEventOrder order;
    EXPECT_EQ(MessageOf([&] { m_impl->trackOrder(order, m_ctx); }), "zmEventOrder.zmSuitId is empty");
    order.suitId = "s";
    EXPECT_EQ(MessageOf([&] { m_impl->trackOrder(order, m_ctx); }), "zmEventOrder.zmCurrency is nullptr");
    order.currency = std::make_shared<int>(USD);
    order.originalAmount = 10;
    EXPECT_EQ(MessageOf([&] { m_impl->trackOrder(order, m_ctx); }), "zmEventOrder.originalAmount is less than zero");
    order.paidAmount = 8;
    m_impl->trackOrder(order, m_ctx);
    EXPECT_EQ(Last("ZmEventOrder")["zm_currency"].asString(), "USD");

    ZmEventPayment pay;
    pay.orderId = "o";
    pay.currency = std::make_shared<int>(CNY);
    pay.paidPlatform = std::make_shared<int>(Alipay);
    pay.paidAmount = -1;
    EXPECT_EQ(MessageOf([&] { m_impl->trackPayment(pay, m_ctx); }), "paidAmount = -1.000000 is invalid");
    pay.paidAmount = 0;
    pay.originalAmount = -2;
    EXPECT_EQ(MessageOf([&] { m_impl->trackPayment(pay, m_ctx); }), "originalAmount = -2.000000 is invalid");
    pay.originalAmount = 0;
    pay.result = std::make_shared<int>(Cancelled);
    EXPECT_EQ(MessageOf([&] { m_impl->trackPayment(pay, m_ctx); }), "zmEventPayment.result is invalid");
    pay.result = std::make_shared<int>(Success);
    pay.paidPlatform.reset();
    EXPECT_EQ(MessageOf([&] { m_impl->trackPayment(pay, m_ctx); }), "zmEventPayment.zmPaidPlatform is nullptr");

    ZmEventUpdate up;
    up.op = DownloadEnd;
    up.result = std::make_shared<int>(UpdateSuccess);
    EXPECT_EQ(MessageOf([&] { m_impl->trackUpdate(up, m_ctx); }), "invalid elapsed info");
    up.result.reset();
    EXPECT_EQ(MessageOf([&] { m_impl->trackUpdate(up, m_ctx); }), "Unknown updateResultInfo info");
    up.op = 5;
    EXPECT_EQ(MessageOf([&] { m_impl->trackUpdate(up, m_ctx); }), "Unknown ZmUpdateOp [5]!");

    AppOpenNotification n;
    EXPECT_EQ(MessageOf([&] { m_impl->trackAppOpenNotification(nullptr, m_ctx); }), "&appOpenNotification is nullptr");
    EXPECT_EQ(MessageOf([&] { m_impl->trackAppOpenNotification(&n, m_ctx); }), "planID is emptry");
    n.planId = "p";
    EXPECT_EQ(MessageOf([&] { m_impl->trackAppOpenNotification(&n, m_ctx); }), "planType is emptry");
    n.planType = "t";
    EXPECT_EQ(MessageOf([&] { m_impl->trackAppOpenNotification(&n, m_ctx); }), "msgTitle is emptry");
    n.msgTitle = "m";
    m_impl->trackAppOpenNotification(&n, m_ctx);
    auto p = Last("AppOpenNotification");
    EXPECT_EQ(p["$sf_plan_id"].asString(), "p");
    EXPECT_TRUE(p["$is_first_time"].asBool());
}

TEST_F(Catalogue, UpdateKeysAndContextMerge) {
    ZmEventUpdate up;  // UpdateCheck without a result
    m_impl->trackUpdate(up, m_ctx);
    auto p = Last("ZmEventUpdate");
    EXPECT_EQ(p["zm_update_op"].asString(), "UpdateCheck");
    EXPECT_EQ(p["zm_update_result"].asString(), "");
    EXPECT_FALSE(p.isMember("$is_first_time"));
    up.op = UpgrateEnd;
    up.result = std::make_shared<int>(UpdateLatest);
    up.elapsed = std::make_shared<float>(2.f);
    ZmContextProperties ctx;
    ctx.setProperty({Update}, "IN");
    m_impl->trackUpdate(up, ctx);
    p = Last("ZmEventUpdate");
    EXPECT_EQ(p["zm_update_result"].asString(), "Latest");
    EXPECT_TRUE(p["$is_first_time"].asBool());
    EXPECT_EQ(p["zmc_ab"].asString(), "IN");
    // The same context does not reach other kinds.
    ZmEventView view;
    view.name = "v";
    m_impl->trackView(view, ctx);
    EXPECT_FALSE(Last("ZmEventView").isMember("zmc_ab"));
}

TEST_F(Catalogue, IdentityFileAndFolders) {
    const auto& s = m_impl->state();
    EXPECT_EQ(s.dataFolder.back(), '\\');
    EXPECT_NE(s.dataFolder.find("\\ZMLocal\\velqordoc.downloader\\"), std::string::npos);
    std::wstring settings = Utils::AnsiToWide(s.settingsFile);
    ASSERT_TRUE(Utils::FileExists(settings));
    EXPECT_TRUE(Utils::FileExists(Utils::AnsiToWide(s.dataFolder + "velqordoc.downloader_ZMSLog.txt")));
    std::string id = Utils::IniReadStringA(s.settingsFile, "Base", "DistinctId", "");
    EXPECT_EQ(id, s.DistinctId);
    EXPECT_EQ(Utils::IniReadStringA(s.settingsFile, "Base", "PrimaryDistinctId", ""), id);
    EXPECT_EQ(Utils::IniReadStringA(s.settingsFile, "Base", "isLogined", ""), "NG");
    EXPECT_EQ(Utils::IniReadStringA(s.settingsFile, "UninstallInfo", "AppStore", ""), "velqor-setup.exe");
    EXPECT_EQ(zm_analytics::Sdk::DistinctId(), id);

    auto config = [this](const std::string& url) {
        ZmTrackerConfig c;
        c.baseFolder = Utils::WideToAnsi(m_dir.Path());
        c.appName = "velqordoc.downloader";
        c.appVersion = "1.7.9";
        c.appStore = "velqor-setup.exe";
        c.serverUrl = url;
        return c;
    };
    m_impl.reset();
    // "OK" without a user id is a logged-out identity.
    Utils::IniWriteStringA(Utils::WideToAnsi(settings), "Base", "isLogined", "OK");
    m_impl = std::make_unique<AnalyticsTrackerImpl>(config("http://127.0.0.1:9/sa?project=pc"));
    m_impl->init();
    EXPECT_FALSE(m_impl->state().isLogined);
    EXPECT_EQ(m_impl->state().DistinctId, id);

    // A new server keeps the anonymous id.
    m_impl.reset();
    Utils::IniWriteStringA(Utils::WideToAnsi(settings), "Base", "DistinctId", "someone-else");
    m_impl = std::make_unique<AnalyticsTrackerImpl>(config("http://127.0.0.1:10/sa?project=pc"));
    m_impl->init();
    EXPECT_EQ(m_impl->state().PrimaryDistinctId, id);
    EXPECT_EQ(m_impl->state().DistinctId, id);
    EXPECT_EQ(Utils::IniReadStringA(Utils::WideToAnsi(settings), "Base", "URL", ""), "http://127.0.0.1:10/sa?project=pc");

    // Without the file a fresh id is made.
    m_impl.reset();
    ASSERT_TRUE(Utils::RemoveFile(settings));
    m_impl = std::make_unique<AnalyticsTrackerImpl>(config("http://127.0.0.1:10/sa?project=pc"));
    m_impl->init();
    EXPECT_NE(m_impl->state().DistinctId, id);
    EXPECT_EQ(m_impl->state().PrimaryDistinctId, m_impl->state().DistinctId);
}

TEST_F(Catalogue, WrapperSwallowsFailuresWithItsLine) {
    m_impl.reset();
    ZmTrackerConfig c;
    c.baseFolder = Utils::WideToAnsi(m_dir.Path());
    c.appName = "velqordoc.downloader";
    c.appVersion = "1.7.9";
    c.appStore = "velqor-setup.exe";
    c.serverUrl = "http://127.0.0.1:9/sa?project=pc";
    auto tracker = MakeAnalyticsTracker(c);
    ZmEventTask empty;
    StreamCapture out(std::cout);
    tracker->trackTask(empty, m_ctx);
    tracker->trackShare(ZmEventShare{{}, {}, {}, {}, std::make_shared<int>(9)}, m_ctx);
    tracker->trackAppOpenNotification(nullptr, m_ctx);
    EXPECT_EQ(out.Text(), "Failed to trackTask\nFailed to trackShare\nFailed to trackAppOpenNotification\n");
    EXPECT_EQ(zm_analytics::Sdk::Queue()->Size(), 0u);
    EXPECT_EQ(tracker->getTrackLogger(), nullptr);
    EXPECT_FALSE(tracker->getPrimaryDistinctId().empty());
}

TEST_F(Catalogue, InitRejectsMissingNames) {
    m_impl.reset();
    const struct {
        ZmTrackerConfig config;
        const char* message;
    } cases[] = {
        {{"", "1", "s", "", "", "", 0, ""}, "appName is empty"},
        {{"a", "", "s", "", "", "", 0, ""}, "appVersion is empty"},
        {{"a", "1", "", "", "", "", 0, ""}, "appStore is empty"},
    };
    for (const auto& c : cases) {
        AnalyticsTrackerImpl impl(c.config);
        EXPECT_EQ(MessageOf([&] { impl.init(); }), c.message);
        EXPECT_FALSE(zm_analytics::Sdk::Exists());
    }
}

}  // namespace
