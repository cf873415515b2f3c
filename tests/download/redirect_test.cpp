// Redirects are followed only so far: a server whose GET redirects to itself
// ends the transfer with an error after a bounded number of requests instead
// of keeping the download busy for ever.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "download/curl_client.h"
#include "download_test_support.h"
#include "transfer/curl_easy.h"
#include "utils/text.h"

namespace {

using dltest::GenName;
using dltest::Server;

TEST(Redirects, ACircleOfRedirectsEndsTheTransfer) {
    ASSERT_TRUE(Server::Get().Running()) << "the local download server did not start";
    const std::string tag = dltest::TestTag();
    const std::string base = Server::Get().Base();
    const std::string port = base.substr(base.rfind(':') + 1);
    // Every GET of this path is redirected to the same path on the same server.
    const std::string url = Server::Get().Url("/m/getto=" + port + "," + tag + "/plain/" + GenName(2000000, 3));
    const auto folder = std::filesystem::temp_directory_path() / ("velqor-" + tag);
    std::filesystem::create_directories(folder);
    {
        CurlClient client(Utils::Utf8ToWide(url), Utils::Utf8ToWide((folder / "package.exe").string()), nullptr);
        EXPECT_EQ(client.Start(), CURLE_TOO_MANY_REDIRECTS);
    }
    int gets = 0;
    for (const auto& request : Server::Get().Requests(tag)) gets += request.method == "GET";
    EXPECT_EQ(gets, curl_easy::kMaxRedirects + 1);
    std::filesystem::remove_all(folder);
}

}  // namespace
