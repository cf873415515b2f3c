// Uploads verify the server's certificate: a self-signed one is refused.
#include <gtest/gtest.h>

#include "analytics/zm_transport.h"
#include "support.h"
#include "utils/fs.h"

using namespace zm_analytics;

namespace {

TEST(Tls, UntrustedCertificateFailsTheSend) {
    analytics_test::Collector init;  // global libcurl set-up
    std::wstring file;
    ASSERT_TRUE(Utils::GetEnv(L"VELQOR_TLS_COLLECTOR_PORT_FILE", file));
    std::string port;
    ASSERT_TRUE(Utils::ReadFileBytes(file, port));
    const std::string url = "https://127.0.0.1:" + std::to_string(std::atoi(port.c_str())) + "/sa?project=pc";
    std::string body;
    ASSERT_TRUE(EncodeBatch("[{\"a\":1}]", body));
    HttpReply reply = HttpPost(url, body, 5000);
    EXPECT_EQ(reply.code, -1);
    EXPECT_NE(reply.body.find("certificate"), std::string::npos) << reply.body;
    analytics_test::StreamCapture err(std::cerr);
    BatchSender sender(url);
    EXPECT_FALSE(sender.Send("[{\"a\":1}]"));
    EXPECT_FALSE(sender.LastSendSucceeded());
}

}  // namespace
