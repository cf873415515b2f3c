// The URL-moniker downloader under Wine against the local download server.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "download/win_downloader.h"
#include "download_test_support.h"
#include "tests/common/temp_dir.h"
#include "utils/fs.h"
#include "utils/text.h"

using dltest::GenName;
using dltest::Recorder;
using dltest::Server;

namespace {

class WinDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server::Get().Running()) << "the local download server did not start";
        m_tag = dltest::TestTag();
        m_dest = m_dir.File(L"__Package_velqordoc.exe");
    }
    std::wstring Url(const std::string& modes, int64_t size, int seed) const {
        std::string m = modes.empty() ? m_tag : modes + "," + m_tag;
        return Utils::Utf8ToWide(Server::Get().Url("/m/" + m + "/r/" + GenName(size, seed)));
    }
    testing_support::TempDir m_dir;
    std::string m_tag;
    std::wstring m_dest;
};

TEST_F(WinDownloaderTest, DownloadsWithProgressAndRunsOnlyOnce) {
    Recorder rec;
    auto d = std::make_unique<CWinDownloader>(rec.Callback(), Url("", 2000000, 21), m_dest);
    d->Start();
    ASSERT_TRUE(rec.WaitForEnd());
    d->Start();  // a finished object does not run again
    d.reset();
    rec.Seal();
    EXPECT_EQ(rec.Summary(), "1001 | 1003");
    EXPECT_TRUE(rec.TagsAre(L"URLDownloadToFile"));
    EXPECT_TRUE(dltest::FileIsGenerated(m_dest, 2000000, 21));
    for (auto& p : rec.Progress()) {
        EXPECT_GT(p.value, 0.0);
        EXPECT_LE(p.value, 1.0);
    }
}

TEST_F(WinDownloaderTest, NoProgressWithoutLength) {
    Recorder rec;
    auto d = std::make_unique<CWinDownloader>(rec.Callback(), Url("nolength", 2000000, 22), m_dest);
    d->Start();
    ASSERT_TRUE(rec.WaitForEnd());
    d.reset();
    EXPECT_EQ(rec.Summary(), "1001 | 1003");
    EXPECT_TRUE(rec.Progress().empty());
    EXPECT_TRUE(dltest::FileIsGenerated(m_dest, 2000000, 22));
}

TEST_F(WinDownloaderTest, ThreeAttemptsASecondApartWhenServerIsDown) {
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(Server::Get().DeadPort()) + L"/x/" +
                       Utils::Utf8ToWide(GenName(2000000, 23));
    Recorder rec;
    auto start = std::chrono::steady_clock::now();
    auto d = std::make_unique<CWinDownloader>(rec.Callback(), url, m_dest);
    d->Start();
    ASSERT_TRUE(rec.WaitForEnd(1, 120));
    auto took = std::chrono::steady_clock::now() - start;
    d.reset();
    auto notes = rec.Notes();
    ASSERT_EQ(notes.size(), 2u) << rec.Summary();
    EXPECT_EQ(notes[0].code, DL_CODE_START);
    EXPECT_EQ(notes[1].code, DL_CODE_FAIL);
    EXPECT_LT(notes[1].value, 0.0) << "a failure HRESULT";
    EXPECT_EQ(notes[1].text, L"URLDownloadToFile");
    EXPECT_GE(took, std::chrono::milliseconds(3000));
}

// After a failed run (the network tip's "重新安装") the download is made again.
// The first run finds every connection dropped (WinINet's own retries
// included) or a server error; then the server is let through and the second
// run gets the file. An error page is never taken for the package.
TEST_F(WinDownloaderTest, StartsAgainAfterAFailure) {
    DownloadDelays delays;
    delays.monikerRetryMs = 0;
    const struct {
        const char* mode;
        int seed;
    } cases[] = {{"drop", 24}, {"500", 25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        std::string tag = m_tag + "-" + c.mode;
        std::wstring url = Utils::Utf8ToWide(
            Server::Get().Url("/m/" + std::string(c.mode) + "," + tag + "/r/" + GenName(2000000, c.seed)));
        std::wstring dest = m_dir.File(Utils::Utf8ToWide(std::string("pkg-") + c.mode + ".exe"));
        Recorder rec;
        auto d = std::make_unique<CWinDownloader>(rec.Callback(), url, dest, delays);
        d->Start();
        ASSERT_TRUE(rec.WaitForEnd(1, 120)) << rec.Summary();
        ASSERT_EQ(rec.Notes().back().code, DL_CODE_FAIL) << rec.Summary();
        Server::Get().Fetch("/_release/" + tag);
        d->Start();
        ASSERT_TRUE(rec.WaitForEnd(2, 120)) << rec.Summary();
        d.reset();
        rec.Seal();
        std::vector<int> codes;
        for (auto& n : rec.Notes())
            if (n.code != DL_CODE_PROGRESS) codes.push_back(n.code);
        EXPECT_EQ(codes, (std::vector<int>{DL_CODE_START, DL_CODE_FAIL, DL_CODE_START, DL_CODE_SUCCESS}))
            << rec.Summary();
        EXPECT_TRUE(dltest::FileIsGenerated(dest, 2000000, c.seed));
    }
}

}  // namespace
