// Records, checks and the JSON form of the analytics core.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "analytics/zm_core.h"
#include "analytics/zm_transport.h"
#include "support.h"

using namespace zm_analytics;
using analytics_test::ParseJson;
using analytics_test::StreamCapture;

namespace {

struct CheckCase {
    const char* text;
    bool ok;
    const char* message;
};

TEST(CoreChecks, KeyCheck) {
    const std::string k100(100, 'k'), k101(101, 'k');
    const CheckCase cases[] = {
        {"a", true, ""},
        {"_x", true, ""},
        {"$time", true, ""},
        {"zm_task_name9", true, ""},
        {k100.c_str(), true, ""},
        {"", false, "The Property Key is empty or too long, max length is 100"},
        {k101.c_str(), false, "The Property Key is empty or too long, max length is 100"},
        {"1abc", false, "The Property Key need to be a valid variable name."},
        {"a-b", false, "The Property Key need to be a valid variable name."},
        {"a b", false, "The Property Key need to be a valid variable name."},
        {"\xE4\xB8\xAD", false, "The Property Key need to be a valid variable name."},
    };
    for (const auto& c : cases) {
        std::string message;
        StreamCapture err(std::cerr);
        EXPECT_EQ(CheckKey("Property Key", c.text, &message), c.ok) << c.text;
        EXPECT_EQ(message, c.message) << c.text;
        if (!c.ok) {
            EXPECT_EQ(err.Text(), std::string(c.message) + "\n");
        }
    }
}

TEST(CoreChecks, IdCheck) {
    const std::string i255(255, 'i'), i256(256, 'i');
    const CheckCase cases[] = {
        {"x", true, ""},
        {i255.c_str(), true, ""},
        {"", false, "The Distinct ID is empty."},
        {i256.c_str(), false, "The Distinct ID is too long, max length is 255."},
    };
    for (const auto& c : cases) {
        std::string message;
        StreamCapture err(std::cerr);
        EXPECT_EQ(CheckId("Distinct ID", c.text, &message), c.ok);
        EXPECT_EQ(message, c.message);
    }
}

TEST(CoreChecks, Utf8Validation) {
    const struct {
        std::string text;
        bool ok;
    } cases[] = {
        {"plain ascii ~", true},
        {"tab\tnl\ncr\r", true},
        {"\xC2\xA9", true},
        {"\xE4\xB8\xAD\xE6\x96\x87", true},
        {"\xED\x9F\xBF", true},
        {"\xF0\x9F\x98\x80", true},
        {"\xF4\x8F\xBF\xBF", true},
        {"", true},
        {std::string("\x01"), false},
        {"\x7F", false},
        {"\xC0\x80", false},
        {"\xC1\xBF", false},
        {"\xED\xA0\x80", false},
        {"\xF4\x90\x80\x80", false},
        {"\xF5\x80\x80\x80", false},
        {"\x80", false},
        {"\xE4\xB8", false},
        {"\xE0\x9F\xBF", false},
        {"\xF0\x8F\xBF\xBF", false},
        {std::string("a\0b", 3), false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsWellFormedUtf8(c.text), c.ok) << testing::PrintToString(c.text);
}

TEST(CoreChecks, StringValuesOverLimitOrInvalidAreLeftOut) {
    PropertiesNode p;
    StreamCapture err(std::cerr);
    EXPECT_TRUE(p.SetString("ok", std::string(8192, 'x')));
    EXPECT_FALSE(p.SetString("long", std::string(8193, 'y')));
    EXPECT_FALSE(p.SetString("bad", "a\x01"));
    EXPECT_TRUE(p.Has("ok"));
    EXPECT_FALSE(p.Has("long"));
    EXPECT_FALSE(p.Has("bad"));
    EXPECT_NE(err.Text().find("String property 'long' is too long, value: yyy"), std::string::npos);
    EXPECT_NE(err.Text().find("String property 'bad' is not valid UTF-8 string, value: a\x01"), std::string::npos);
}

TEST(CoreJson, KeyOrderEscapesAndKinds) {
    PropertiesNode inner;
    inner.SetInteger("z", -3);
    PropertiesNode p;
    // Backspace and form feed fail the string check; the writer still escapes them.
    p.Set("zm_text", ObjectNode::FromString("q\"b\\s\b\t\n\f\r/\xE4\xB8\xAD"));
    p.SetInteger("int", 9007199254740993LL);
    p.SetBool("flag", false);
    p.SetBool("$is_first_time", true);
    p.SetList("list", {"a", "b\"c"});
    p.SetList("empty", {});
    p.SetObject("obj", inner);
    p.SetNumber("num", 2.5);
    p.SetNumber("$num", 0.1);
    p.SetString("Upper", "u");
    p.SetString("_under", "u2");
    p.SetString("int", "replaced");
    EXPECT_EQ(p.ToJson(),
              "{\"$is_first_time\":true,\"$num\":0.1,\"Upper\":\"u\",\"_under\":\"u2\",\"empty\":[],"
              "\"flag\":false,\"int\":\"replaced\",\"list\":[\"a\",\"b\\\"c\"],\"num\":2.5,\"obj\":{\"z\":-3},"
              "\"zm_text\":\"q\\\"b\\\\s\\b\\t\\n\\f\\r/\xE4\xB8\xAD\"}");
}

TEST(CoreJson, DoubleFormatting) {
    const struct {
        double v;
        const char* text;
    } cases[] = {
        {0, "0"},         {1, "1"},           {-2.5, "-2.5"},         {0.1, "0.1"},
        {1234567, "1.23457e+06"}, {123456, "123456"}, {1e20, "1e+20"}, {0.0001, "0.0001"},
        {0.00001, "1e-05"}, {3.14159265, "3.14159"}, {static_cast<float>(1.1), "1.1"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDouble(c.v), c.text) << c.v;
}

TEST(CoreJson, DateTimeText) {
    const std::regex shape(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.(\d{3}))");
    std::smatch m;
    std::string t = FormatDateTime({1700000000, 7});
    ASSERT_TRUE(std::regex_match(t, m, shape)) << t;
    EXPECT_EQ(m[1].str(), "007");
    // One day later differs only in the date (no time-zone change on that day).
    std::string next = FormatDateTime({1700000000 + 86400, 7});
    EXPECT_EQ(t.substr(10), next.substr(10));
    EXPECT_NE(t.substr(0, 10), next.substr(0, 10));
    PropertiesNode p;
    p.SetDateTime("d", {1700000000, 999});
    EXPECT_EQ(p.ToJson(), "{\"d\":\"" + FormatDateTime({1700000000, 999}) + "\"}");
}

TEST(CoreJson, TrackIdShape) {
    for (int64_t now : {1700000001234LL, 1700000000000LL, 1700000009999LL}) {
        int64_t id = MakeTrackId(now);
        EXPECT_GE(id, 0);
        EXPECT_LT(id, 1000000000LL);
        EXPECT_EQ(id % 10000, now % 10000);
    }
}

// The Sdk with a queue that is never flushed: records are read from the queue.
class SdkRecords : public testing::Test {
protected:
    void SetUp() override {
        Sdk::Shutdown();
        ASSERT_TRUE(Sdk::Init("", "http://127.0.0.1:9/sa?project=pc", "device-1", false));
    }
    void TearDown() override { Sdk::Shutdown(); }
    std::vector<std::string> Records() { return Sdk::Queue()->Snapshot(); }
};

TEST_F(SdkRecords, TrackRecordLayout) {
    PropertiesNode p;
    p.SetString("zm_name", "x");
    p.SetString("$app_id", "app");
    Sdk::Track("ZmEventClick", p);
    auto r = Records();
    ASSERT_EQ(r.size(), 1u);
    const std::regex layout(
        R"(\{"_track_id":\d+,"distinct_id":"device-1","event":"ZmEventClick","lib":\{"\$lib":"cpp","\$lib_method":"code","\$lib_version":"0\.9"\},"properties":\{"\$app_id":"app","\$lib":"cpp","\$lib_version":"0\.9","zm_name":"x"\},"time":\d+,"type":"track"\})");
    EXPECT_TRUE(std::regex_match(r[0], layout)) << r[0];
}

TEST_F(SdkRecords, SuperPropertiesTimeProjectAndLogin) {
    PropertiesNode super;
    super.SetString("zm_app_id", "app");
    Sdk::RegisterSuperProperties(super);
    PropertiesNode p;
    p.SetDateTime("$time", {1600000000, 250});
    p.SetString("$project", "pc");
    p.SetString("zm_app_id", "given wins");
    Sdk::Track("Ev", p);
    Sdk::Login("user-7");
    Sdk::Track("Ev2", PropertiesNode());
    Sdk::ProfileIncrement("zm_paid_count", int64_t{2});
    Sdk::ProfileAppend("tags", "t");
    auto r = Records();
    ASSERT_EQ(r.size(), 5u);
    auto first = ParseJson(r[0]);
    EXPECT_EQ(first["time"].asInt64(), 1600000000250LL);
    EXPECT_EQ(first["project"].asString(), "pc");
    EXPECT_FALSE(first["properties"].isMember("$time"));
    EXPECT_FALSE(first["properties"].isMember("$project"));
    EXPECT_EQ(first["properties"]["zm_app_id"].asString(), "given wins");
    EXPECT_FALSE(first["properties"].isMember("$is_login_id"));
    auto signup = ParseJson(r[1]);
    EXPECT_EQ(signup["type"].asString(), "track_signup");
    EXPECT_EQ(signup["event"].asString(), "$SignUp");
    EXPECT_EQ(signup["distinct_id"].asString(), "user-7");
    EXPECT_EQ(signup["original_id"].asString(), "device-1");
    auto after = ParseJson(r[2]);
    EXPECT_EQ(after["distinct_id"].asString(), "user-7");
    EXPECT_TRUE(after["properties"]["$is_login_id"].asBool());
    EXPECT_EQ(after["properties"]["zm_app_id"].asString(), "app");
    auto inc = ParseJson(r[3]);
    EXPECT_EQ(inc["type"].asString(), "profile_increment");
    EXPECT_FALSE(inc.isMember("event"));
    EXPECT_FALSE(inc["properties"].isMember("zm_app_id"));  // no super properties in profiles
    EXPECT_EQ(inc["properties"]["zm_paid_count"].asInt(), 2);
    EXPECT_TRUE(inc["properties"]["$is_login_id"].asBool());
    auto app = ParseJson(r[4]);
    EXPECT_EQ(app["type"].asString(), "profile_append");
    EXPECT_EQ(app["properties"]["tags"][0].asString(), "t");
}

TEST_F(SdkRecords, InvalidOperationsAreDropped) {
    const struct {
        std::function<void()> op;
        const char* message;
    } cases[] = {
        {[] { PropertiesNode p; p.SetString("$time", "now"); Sdk::Track("Ev", p); },
         "The property '$time' should be DateTime type."},
        {[] { PropertiesNode p; p.SetInteger("$project", 1); Sdk::Track("Ev", p); },
         "The property '$project' should be String type."},
        {[] { PropertiesNode p; p.SetInteger("9lives", 1); Sdk::Track("Ev", p); },
         "The Property Key need to be a valid variable name."},
        {[] { Sdk::Track("bad-name", PropertiesNode()); }, "The Event Name need to be a valid variable name."},
        {[] { Sdk::Track(std::string(101, 'e'), PropertiesNode()); },
         "The Event Name is empty or too long, max length is 100"},
    };
    for (const auto& c : cases) {
        StreamCapture err(std::cerr);
        c.op();
        EXPECT_EQ(err.Text(), std::string(c.message) + "\n");
    }
    EXPECT_TRUE(Records().empty());
    Sdk::Track(std::string(100, 'e'), PropertiesNode());
    EXPECT_EQ(Records().size(), 1u);
}

TEST_F(SdkRecords, LongStringLeavesOutOnlyThatProperty) {
    PropertiesNode p;
    StreamCapture err(std::cerr);
    p.SetString("big", std::string(8193, 'b'));
    p.SetString("small", "s");
    Sdk::Track("Ev", p);
    auto r = Records();
    ASSERT_EQ(r.size(), 1u);
    auto rec = ParseJson(r[0]);
    EXPECT_FALSE(rec["properties"].isMember("big"));
    EXPECT_EQ(rec["properties"]["small"].asString(), "s");
}

TEST(CoreSdk, InitRejectsBadDistinctIdAndOperationsWithoutCoreDoNothing) {
    Sdk::Shutdown();
    StreamCapture err(std::cerr);
    EXPECT_FALSE(Sdk::Init("", "http://127.0.0.1:9/", "", false));
    EXPECT_FALSE(Sdk::Exists());
    Sdk::Track("Ev", PropertiesNode());
    Sdk::Login("x");
    EXPECT_FALSE(Sdk::Flush());
    EXPECT_EQ(err.Text(), "The Distinct ID is empty.\n");
}

TEST(CoreTransport, Base64AndPercentEncoding) {
    const struct {
        const char* in;
        const char* out;
    } b64[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
               {"\xFB\xFF\xBF", "+/+/"}};
    for (const auto& c : b64) EXPECT_EQ(Base64Encode(c.in), c.out);
    EXPECT_EQ(PercentEncode("aZ09-._~+/= %\xE4"), "aZ09-._~%2B%2F%3D%20%25%E4");
}

TEST(CoreTransport, BodyIsGzipBase64PercentEncoded) {
    std::string body;
    ASSERT_TRUE(EncodeBatch("[{\"a\":\"\xE4\xB8\xAD\"}]", body));
    ASSERT_EQ(body.rfind("data_list=", 0), 0u);
    ASSERT_EQ(body.substr(body.size() - 7), "&gzip=1");
    std::string mid = body.substr(10, body.size() - 17);
    EXPECT_TRUE(std::regex_match(mid, std::regex("([A-Za-z0-9]|%[0-9A-F]{2})+"))) << mid;
    std::string gz;
    ASSERT_TRUE(GzipCompress("hello", gz));
    EXPECT_EQ(gz.substr(0, 2), "\x1f\x8b");
}

TEST(CoreTransport, HeaderLines) {
    std::map<std::string, std::string> h;
    ParseHeaderLine("Content-Type:  text/plain \r\n", h);
    ParseHeaderLine("HTTP/1.1 200 OK\r\n", h);
    ParseHeaderLine("\r\n", h);
    ParseHeaderLine("X-A: b:c\r\n", h);
    EXPECT_EQ(h.size(), 3u);
    EXPECT_EQ(h["Content-Type"], "text/plain");
    EXPECT_EQ(h["HTTP/1.1 200 OK"], "present");
    EXPECT_EQ(h["X-A"], "b:c");
}

TEST(CoreTransport, QueueKeepsTheNewest1024) {
    RecordQueue q("http://127.0.0.1:9/sa?project=pc", "");
    for (int i = 0; i < 1030; ++i) q.Add("{\"n\":" + std::to_string(i) + "}");
    auto all = q.Snapshot();
    ASSERT_EQ(all.size(), 1024u);
    EXPECT_EQ(all.front(), "{\"n\":6}");
    EXPECT_EQ(all.back(), "{\"n\":1029}");
}

}  // namespace
