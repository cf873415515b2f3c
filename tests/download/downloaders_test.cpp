// The libcurl downloaders against the local download server: notification
// sequences, attempt counts, requests on the wire and the files left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "download/curl_client.h"
#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#include "download_test_support.h"
#include "transfer/curl_easy.h"
#include "tests/common/temp_dir.h"
#include "utils/fs.h"
#include "utils/md5.h"
#include "utils/text.h"
#include "utils/thread.h"
#include "utils/time.h"

using dltest::GenName;
using dltest::Recorder;
using dltest::Server;

namespace {

DownloadDelays NoDelays() {
    DownloadDelays d;
    d.retryMs = 0;
    d.partRetryMs = 0;
    d.partStartMs = 0;
    d.monikerRetryMs = 0;
    d.backoffUnitMs = 0;
    return d;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

void WriteJunk(const std::wstring& path, size_t size) { Utils::WriteFileBytes(path, std::string(size, 'x')); }

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server::Get().Running()) << "the local download server did not start";
        m_tag = dltest::TestTag();
        m_dest = m_dir.File(L"__Package_velqordoc.exe");
        m_testThread = Utils::CurrentThreadId();
    }

    // A package URL: /m/<modes>,<tag>/<route>/<name>; route "r" redirects to
    // the digest path, any other route serves the file under itself.
    std::wstring PackageUrl(const std::string& modes, int64_t size, int seed, const std::string& route = "r") const {
        std::string m = modes.empty() ? m_tag : modes + "," + m_tag;
        return Utils::Utf8ToWide(Server::Get().Url("/m/" + m + "/" + route + "/" + GenName(size, seed)));
    }

    template <class D>
    void Run(Recorder& rec, const std::wstring& url, DownloadDelays delays = NoDelays()) {
        auto downloader = std::make_unique<D>(rec.Callback(), url, m_dest, delays);
        rec.Attach(downloader.get());
        downloader->Start();
        ASSERT_TRUE(rec.WaitForEnd()) << "no ending notification; so far: " << rec.Summary();
        m_checkedDigest = downloader->CheckedDigest();
        downloader.reset();
        rec.Seal();
        for (auto& note : rec.Notes()) EXPECT_NE(note.thread, m_testThread) << "notification on the caller's thread";
        auto notes = rec.Notes();
        ASSERT_FALSE(notes.empty());
        EXPECT_EQ(notes.front().code, DL_CODE_START);
        EXPECT_EQ(notes.front().value, 1.0);
        EXPECT_TRUE(rec.TagsAre(L"LibCurl"));
        for (auto& p : rec.Progress()) {
            EXPECT_GT(p.value, 0.0);
            EXPECT_LE(p.value, 1.0);
        }
    }

    int CountGets() const {
        int n = 0;
        for (auto& r : Server::Get().Requests(m_tag)) n += r.method == "GET";
        return n;
    }

    // A successful run names the URL's digest that its file was checked
    // against (the install step checks the held file against it again).
    void ExpectCheckedDigest(const Recorder& rec, const std::string& route) {
        const std::string summary = rec.Summary();
        const bool succeeded = summary.size() >= 4 && summary.compare(summary.size() - 4, 4, "1003") == 0;
        EXPECT_EQ(!m_checkedDigest.empty(), succeeded && route == "r") << m_checkedDigest;
        if (!m_checkedDigest.empty()) {
            EXPECT_TRUE(Utils::DigestEqual(m_checkedDigest, Utils::GetFileDigest(m_dest, Utils::DigestKind::Md5)));
        }
    }

    testing_support::TempDir m_dir;
    std::string m_tag;
    std::wstring m_dest;
    std::string m_checkedDigest;
    uint32_t m_testThread = 0;
};

// ---------------------------------------------------------------------------
// Outcomes shared in shape by both libcurl downloaders.

struct OutcomeCase {
    const char* name;
    std::string modes;  // "{dead}" stands for a port where nothing listens
    int64_t size;
    std::string route;
    std::string summary;  // notifications without progress
    int gets;             // GET requests that reached the server
    bool fileKept;        // the destination holds the package afterwards
};

std::ostream& operator<<(std::ostream& os, const OutcomeCase& c) { return os << c.name; }

std::string Expand(std::string modes) {
    size_t at = modes.find("{dead}");
    if (at != std::string::npos) modes.replace(at, 6, std::to_string(Server::Get().DeadPort()));
    return modes;
}

class SingleStreamOutcome : public DownloadTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(SingleStreamOutcome, NotificationsRequestsAndFile) {
    const OutcomeCase& c = GetParam();
    Recorder rec;
    Run<CCurlDownloader>(rec, PackageUrl(Expand(c.modes), c.size, 7, c.route));
    EXPECT_EQ(rec.Summary(), c.summary);
    ExpectCheckedDigest(rec, c.route);
    EXPECT_EQ(CountGets(), c.gets);
    EXPECT_EQ(dltest::FileIsGenerated(m_dest, c.size, 7), c.fileKept);
    if (!c.fileKept) {
        EXPECT_FALSE(Utils::FileExists(m_dest));
    }
}

const char kCurlMd5Fail[] = "1006 curl文件md5校验失败";
INSTANTIATE_TEST_SUITE_P(
    Cases, SingleStreamOutcome,
    ::testing::Values(
        OutcomeCase{"WithDigest", "", 2000000, "r", "1001 | 1003", 1, true},
        OutcomeCase{"WithoutDigest", "", 2000000, "plain", "1001 | 1006 curl获取url-md5失败 | 1003", 1, true},
        OutcomeCase{"UpperCaseDigest", "uppermd5", 2000000, "r", "1001 | 1003", 1, true},
        OutcomeCase{"DigestMismatchRetriesOnceThenFails", "wrongmd5", 2000000, "r",
                    std::string("1001 | ") + kCurlMd5Fail + " | 1005 0 | 1001 | " + kCurlMd5Fail + " | 1004 0", 2,
                    true},
        OutcomeCase{"ExactlyOneMiB", "", 1048576, "r", "1001 | 1003", 1, true},
        OutcomeCase{"UnderOneMiBIsRefused", "", 1048575, "r", "1001 | 1004 -998", 0, false},
        OutcomeCase{"NoLengthIsRefused", "nolength", 2000000, "r", "1001 | 1004 -998", 0, false},
        OutcomeCase{"Head400IsRefused", "head400", 2000000, "r", "1001 | 1004 -998", 0, false},
        OutcomeCase{"NotFoundSixAttempts", "404", 2000000, "r", "1001 | 1004 22", 6, false},
        OutcomeCase{"CannotConnectSixAttempts", "getto={dead}", 2000000, "r", "1001 | 1004 7", 6, false},
        OutcomeCase{"TruncatedTwelveAttempts", "short", 2000000, "r", "1001 | 1004 18", 12, false}),
    [](const auto& p) { return std::string(p.param.name); });

class MultiPartOutcome : public DownloadTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(MultiPartOutcome, NotificationsRequestsAndFile) {
    const OutcomeCase& c = GetParam();
    Recorder rec;
    Run<CMTCurlDownloader>(rec, PackageUrl(Expand(c.modes), c.size, 8, c.route));
    EXPECT_EQ(rec.Summary(), c.summary);
    ExpectCheckedDigest(rec, c.route);
    EXPECT_EQ(CountGets(), c.gets);
    EXPECT_EQ(dltest::FileIsGenerated(m_dest, c.size, 8), c.fileKept);
    if (!c.fileKept) {
        EXPECT_FALSE(Utils::FileExists(m_dest));
    }
    EXPECT_FALSE(Utils::FileExists(m_dest + L"_0"));
    EXPECT_FALSE(Utils::FileExists(m_dest + L"_1"));
}

const char kMtMd5Fail[] = "1006 mtcurl文件md5校验失败";
INSTANTIATE_TEST_SUITE_P(
    Cases, MultiPartOutcome,
    ::testing::Values(
        OutcomeCase{"WithDigest", "", 2000000, "r", "1001 | 1003", 1, true},
        OutcomeCase{"WithoutDigest", "", 2000000, "plain", "1001 | 1006 mtcurl获取url-md5失败 | 1003", 1, true},
        OutcomeCase{"UpperCaseDigest", "uppermd5", 2000000, "r", "1001 | 1003", 1, true},
        OutcomeCase{"DigestMismatchRetriesOnceThenFails", "wrongmd5", 2000000, "r",
                    std::string("1001 | ") + kMtMd5Fail + " | 1005 0 | 1001 | " + kMtMd5Fail + " | 1004 0", 2, false},
        OutcomeCase{"ProbeWithoutLengthFails", "nolength", 2000000, "r", "1001 | 1004 0", 0, false},
        // 7 attempts per part and run; the range-ignoring replies never reach the file.
        OutcomeCase{"NotFoundRetriedRunThenFails", "404", 2000000, "r", "1001 | 1005 22 | 1001 | 1004 22", 14, false},
        OutcomeCase{"RangeIgnoredOnceIsRetried", "norange=1", 20971520, "r", "1001 | 1003", 3, true},
        OutcomeCase{"RangeAlwaysIgnoredFails", "norange", 20971520, "r", "1001 | 1005 23 | 1001 | 1004 23", 28,
                    false},
        // One part, nothing on disk yet: its range is the whole file, and the
        // whole file is the same bytes.
        OutcomeCase{"WholeFileForTheSingleRangeIsTaken", "norange", 2000000, "r", "1001 | 1003", 1, true}),
    [](const auto& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------------------
// Single-stream specifics.

TEST_F(DownloadTest, SingleStreamResumesPartialFileWithRangeAndSendsItsHeaders) {
    Recorder rec;
    Run<CCurlDownloader>(rec, PackageUrl("short=1,cut=300000", 2000000, 3));
    EXPECT_EQ(rec.Summary(), "1001 | 1003");
    EXPECT_TRUE(dltest::FileIsGenerated(m_dest, 2000000, 3));
    EXPECT_FALSE(Utils::FileExists(m_dest + L".part"));
    EXPECT_EQ(Server::Get().GetRanges(m_tag), (std::vector<std::string>{"", "bytes=300000-"}));
    for (auto& r : Server::Get().Requests(m_tag)) {
        if (r.method != "GET") continue;
        EXPECT_EQ(r.Header("Connection"), "keep-alive");
        EXPECT_EQ(r.Header("Accept-Encoding"), "gzip, deflate");
    }
}

TEST_F(DownloadTest, SingleStreamStartsOverWhenServerCannotResume) {
    Recorder rec;
    Run<CCurlDownloader>(rec, PackageUrl("short=1,cut=300000,norange=1", 2000000, 4));
    EXPECT_EQ(rec.Summary(), "1001 | 1003");
    EXPECT_TRUE(dltest::FileIsGenerated(m_dest, 2000000, 4));
    EXPECT_EQ(Server::Get().GetRanges(m_tag), (std::vector<std::string>{"", "bytes=300000-", ""}));
}

TEST_F(DownloadTest, SingleStreamNeverResumesAnEarlierObjectsPartialFile) {
    WriteJunk(m_dest + L".part", 5000);
    Recorder rec;
    Run<CCurlDownloader>(rec, PackageUrl("", 2000000, 5));
    EXPECT_EQ(rec.Summary(), "1001 | 1003");
    EXPECT_TRUE(dltest::FileIsGenerated(m_dest, 2000000, 5));
    EXPECT_EQ(Server::Get().GetRanges(m_tag), (std::vector<std::string>{""}));
}

TEST_F(DownloadTest, SingleStreamProgressAtMostOncePerSecondAndNeverZero) {
    Recorder rec;
    Run<CCurlDownloader>(rec, PackageUrl("rate=900000", 2400000, 6));
    EXPECT_EQ(rec.Summary(), "1001 | 1003");
    auto progress = rec.Progress();
    ASSERT_FALSE(progress.empty());
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i].second, progress[i - 1].second);
}

// ---------------------------------------------------------------------------
// Multi-part specifics.

struct PlanCase {
    int64_t size;
    std::vector<std::string> ranges;
};

std::ostream& operator<<(std::ostream& os, const PlanCase& c) { return os << c.size << " bytes"; }

class MultiPartPlan : public DownloadTest, public ::testing::WithParamInterface<PlanCase> {};

TEST_P(MultiPartPlan, RangesCoverThePackage) {
    const PlanCase& c = GetParam();
    Recorder rec;
    Run<CMTCurlDownloader>(rec, PackageUrl("", c.size, 9));
    EXPECT_EQ(rec.Summary(), "1001 | 1003");
    EXPECT_TRUE(dltest::FileIsGenerated(m_dest, c.size, 9));
    EXPECT_EQ(Sorted(Server::Get().GetRanges(m_tag)), c.ranges);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MultiPartPlan,
    ::testing::Values(PlanCase{20971519, {"bytes=0-20971518"}},
                      PlanCase{20971520, {"bytes=0-10485759", "bytes=10485760-20971519"}},
                      PlanCase{20971521, {"bytes=0-10485759", "bytes=10485760-20971520"}}),
    [](const auto& p) { return std::to_string(p.param.size); });

TEST_F(DownloadTest, MultiPartRetryRunResumesEachPartAndSkipsCompleteOnes) {
    // The second part is cut short 13 times (its whole budget) while the first
    // completes; the retry run asks only for the rest of the second part.
    DownloadDelays delays = NoDelays();
    delays.partRetryMs = 250;  // spreads the run over several seconds so that progress is reported
    Recorder rec;
    Run<CMTCurlDownloader>(rec, PackageUrl("short=13,cut=1000,from=10485760", 20971520, 10), delays);
    EXPECT_EQ(rec.Summary(), "1001 | 1005 18 | 1001 | 1003");
    EXPECT_TRUE(dltest::FileIsGenerated(m_dest, 20971520, 10));
    auto ranges = Server::Get().GetRanges(m_tag);
    EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "bytes=0-10485759"), 1);
    ASSERT_EQ(ranges.size(), 15u);
    EXPECT_EQ(ranges.back(), "bytes=10498760-20971519");
}

TEST_F(DownloadTest, MultiPartNeverResumesAnEarlierObjectsPartFiles) {
    WriteJunk(m_dest + L"_0", 5000);
    WriteJunk(m_dest + L"_1", 5000);
    Recorder rec;
    Run<CMTCurlDownloader>(rec, PackageUrl("", 20971520, 11));
    EXPECT_EQ(rec.Summary(), "1001 | 1003");
    EXPECT_TRUE(dltest::FileIsGenerated(m_dest, 20971520, 11));
    EXPECT_EQ(Sorted(Server::Get().GetRanges(m_tag)),
              (std::vector<std::string>{"bytes=0-10485759", "bytes=10485760-20971519"}));
}

TEST_F(DownloadTest, MultiPartProgressInWholeStepsAtMostOncePerSecond) {
    Recorder rec;
    Run<CMTCurlDownloader>(rec, PackageUrl("rate=900000", 2400000, 12));
    EXPECT_EQ(rec.Summary(), "1001 | 1003");
    auto progress = rec.Progress();
    ASSERT_FALSE(progress.empty());
    for (size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GT(progress[i].second, progress[i - 1].second);
        EXPECT_GE(progress[i].value - progress[i - 1].value, 0.01 - 1e-9);
    }
}

// ---------------------------------------------------------------------------
// Destruction cancels and waits.

template <class D>
void DestroyWhileStalled(DownloadTest& t, const std::wstring& url, const std::string& tag, const std::wstring& dest) {
    (void)t;
    Recorder rec;
    auto downloader = std::make_unique<D>(rec.Callback(), url, dest, NoDelays());
    rec.Attach(downloader.get());
    downloader->Start();
    ASSERT_TRUE(rec.WaitFor(DL_CODE_START));
    // Wait (bounded) until the body request is on the wire and stalled.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool requested = false;
    while (!requested && std::chrono::steady_clock::now() < deadline) {
        for (auto& r : Server::Get().Requests(tag)) requested = requested || r.method == "GET";
        if (!requested) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(requested);
    auto before = std::chrono::steady_clock::now();
    downloader.reset();
    rec.Seal();
    auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, std::chrono::seconds(4)) << "destruction waited for the stalled transfer";
    EXPECT_FALSE(rec.LateNotification());
    EXPECT_EQ(rec.Summary(), "1001");
}

TEST_F(DownloadTest, DestroyingSingleStreamCancelsStalledTransfer) {
    DestroyWhileStalled<CCurlDownloader>(*this, PackageUrl("stall", 2000000, 13), m_tag, m_dest);
}

TEST_F(DownloadTest, DestroyingMultiPartCancelsPartsAndJoiner) {
    DestroyWhileStalled<CMTCurlDownloader>(*this, PackageUrl("stall", 20971520, 14), m_tag, m_dest);
}

// ---------------------------------------------------------------------------
// Certificates are always checked: a package from a server whose certificate
// cannot be verified is never fetched (natively; Wine's TLS does not check).

#ifndef _WIN32
TEST_F(DownloadTest, UnverifiableCertificateIsRefused) {
    Server& tls = Server::GetTls();
    ASSERT_TRUE(tls.Running()) << "the HTTPS test server did not start";
    std::wstring url = Utils::Utf8ToWide(tls.Url("/m/" + m_tag + "/r/" + GenName(2000000, 15)));
    {
        Recorder rec;
        Run<CMTCurlDownloader>(rec, url);
        EXPECT_EQ(rec.Summary(), "1001 | 1004 0");
    }
    {
        Recorder rec;
        Run<CCurlDownloader>(rec, url);
        EXPECT_EQ(rec.Summary(), "1001 | 1004 -998");
    }
    EXPECT_FALSE(Utils::FileExists(m_dest));
    EXPECT_GT(tls.DeadPort(), 0) << "the HTTPS server answers a client that does not verify";
    for (auto& r : tls.Requests(m_tag)) ADD_FAILURE() << "request got through: " << r.method << " " << r.path;
}
#endif

// ---------------------------------------------------------------------------
// The helper's stand-alone queries.

TEST_F(DownloadTest, LengthQueriesDifferOnStatus400) {
    std::string url = Server::Get().Url("/m/head400," + m_tag + "/plain/" + GenName(2000000, 1));
    EXPECT_EQ(CurlClient::GetDownloadFileLength_Str(url), 0.0);  // the 400 reply's own length, accepted
    curl_easy::EasyHandle head = CurlClient::Head(url);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(CurlClient::GetDownloadFileLength(head.get()), -1.0);
    std::string good = Server::Get().Url("/m/" + m_tag + "/plain/" + GenName(2000000, 1));
    EXPECT_EQ(CurlClient::GetDownloadFileLength_Str(good), 2000000.0);
}

TEST_F(DownloadTest, RealUrlFollowsRedirectsOrFallsBackToInput) {
    std::string url = Server::Get().Url("/r/" + GenName(2000000, 2));
    EXPECT_EQ(CurlClient::GetRealUrl_Str(url), Server::Get().Url("/" + dltest::GenMd5(2000000, 2) + "/" +
                                                                  GenName(2000000, 2)));
    std::string dead = "http://127.0.0.1:" + std::to_string(Server::Get().DeadPort()) + "/x/y.bin";
    EXPECT_EQ(CurlClient::GetRealUrl_Str(dead), dead);
}

}  // namespace

// ---------------------------------------------------------------------------
// A SHA-256 segment (64 hex digits) may stand where the MD5 segment does; it is
// checked the same way, with the same notifications.

TEST_F(DownloadTest, Sha256Segment) {
    const int64_t size = 2000000;
    {
        // The digest of the generated bytes, from a download checked by MD5.
        Recorder rec;
        Run<CCurlDownloader>(rec, PackageUrl("", size, 9));
        ASSERT_EQ(rec.Summary(), "1001 | 1003");
    }
    const std::string sha = Utils::GetFileDigest(m_dest, Utils::DigestKind::Sha256);
    ASSERT_EQ(sha.size(), 64u);
    std::string upper = sha;
    for (char& ch : upper)
        if (ch >= 'a' && ch <= 'f') ch = static_cast<char>(ch - 'a' + 'A');
    const std::string curlFail = std::string("1001 | ") + kCurlMd5Fail + " | 1005 0 | 1001 | " + kCurlMd5Fail + " | 1004 0";
    const std::string mtFail = std::string("1001 | ") + kMtMd5Fail + " | 1005 0 | 1001 | " + kMtMd5Fail + " | 1004 0";
    struct Case {
        const char* name;
        std::string segment;
        std::string single, multi;  // the summaries of the two downloaders
    };
    const Case cases[] = {
        {"the file's SHA-256", sha, "1001 | 1003", "1001 | 1003"},
        {"in upper case", upper, "1001 | 1003", "1001 | 1003"},
        {"another SHA-256", std::string(64, '0'), curlFail, mtFail},
    };
    for (const Case& c : cases) {
        Utils::RemoveFile(m_dest);
        {
            Recorder rec;
            Run<CCurlDownloader>(rec, PackageUrl("", size, 9, c.segment));
            EXPECT_EQ(rec.Summary(), c.single) << c.name;
        }
        Utils::RemoveFile(m_dest);
        {
            Recorder rec;
            Run<CMTCurlDownloader>(rec, PackageUrl("", size, 9, c.segment));
            EXPECT_EQ(rec.Summary(), c.multi) << c.name;
        }
    }
}

// ---------------------------------------------------------------------------
// The transfer policy every request is made with, on raw handles: what may be
// spoken, where redirects may go, how long a body may be.

#ifndef _WIN32
namespace {

struct PolicyCase {
    const char* name;
    std::string url;
    curl_off_t bodyLimit;  // 0: the policy's own
    CURLcode expected;
};

CURLcode FetchUnderPolicy(const PolicyCase& c, const std::string& caFile) {
    curl_easy::EasyHandle handle = curl_easy::NewHandle();
    CURL* h = handle.get();
    int code = curl_easy_setopt(h, CURLOPT_URL, c.url.c_str());
    code |= curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    code |= curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &curl_easy::Discard);
    code |= curl_easy::ApplyTransferPolicy(h, c.url);
    if (c.bodyLimit > 0) code |= curl_easy::LimitBodySize(h, c.bodyLimit);
    // The test server's own certificate is the one trusted root here.
    code |= curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str());
    if (code != 0) return static_cast<CURLcode>(code);
    return curl_easy_perform(h);
}

}  // namespace

TEST_F(DownloadTest, TransferPolicy) {
    Server& plain = Server::Get();
    Server& tls = Server::GetTls();
    ASSERT_TRUE(plain.Running() && tls.Running());
    const std::string file = GenName(2000000, 21);
    const std::string md5 = dltest::GenMd5(2000000, 21);
    const std::string plainPort = plain.Base().substr(plain.Base().rfind(':') + 1);
    // GETs sent on to the plain server (which sends them on to itself again).
    const std::string fromTls = "/m/tlsroute" + m_tag + ",getto=" + plainPort;
    const std::string loop = "/m/" + m_tag + ",getto=" + plainPort;
    const PolicyCase cases[] = {
        {"HTTPS, trusted certificate", tls.Url("/m/" + m_tag + "/r/" + file), 0, CURLE_OK},
        {"HTTPS redirected to HTTP is refused", tls.Url(fromTls + "/" + md5 + "/" + file), 0,
         CURLE_UNSUPPORTED_PROTOCOL},
        {"HTTP redirects are followed, at most 10", plain.Url(loop + "/" + md5 + "/" + file), 0,
         CURLE_TOO_MANY_REDIRECTS},
        {"other protocols are not spoken", "ftp://127.0.0.1:" + std::to_string(plain.DeadPort()) + "/x", 0,
         CURLE_UNSUPPORTED_PROTOCOL},
        {"a body longer than the limit is refused", plain.Url("/m/" + m_tag + "/r/" + file), 1000,
         CURLE_FILESIZE_EXCEEDED},
    };
    for (const PolicyCase& c : cases) EXPECT_EQ(FetchUnderPolicy(c, tls.CertFile()), c.expected) << c.name;
    // The refused redirect never reached the plain server; the loop was
    // followed for the first request and 10 redirects.
    EXPECT_TRUE(plain.Requests("tlsroute" + m_tag).empty());
    size_t gets = 0;
    for (const dltest::Request& r : plain.Requests(m_tag))
        if (r.method == "GET" && r.path.find("getto") != std::string::npos) ++gets;
    EXPECT_EQ(gets, 11u);
}
#endif
