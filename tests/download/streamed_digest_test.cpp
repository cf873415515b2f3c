// The multi-part downloader's digest, computed from the part files while they
// are written: resumed parts, parts restarted from their first byte after a
// change on the server, and a whole-file answer to a single range must all
// come to the verdict the joined file has, without reading it back.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/mt_curl_downloader.h"
#include "download/part_hasher.h"
#include "download_test_support.h"
#include "tests/common/temp_dir.h"
#include "utils/fs.h"
#include "utils/log.h"
#include "utils/md5.h"
#include "utils/text.h"

using dltest::GenName;
using dltest::Recorder;
using dltest::Server;

namespace {

const char kReadBack[] = "the digest is computed from the joined file";

struct StreamedCase {
    const char* name;
    std::string modes;
    int64_t size;
    DownloadDelays delays;
    std::string summary;             // notifications without progress
    int version;                     // of the server's file the destination holds; -1 none
    std::vector<std::string> ranges; // requests that must be among the GETs
};

std::ostream& operator<<(std::ostream& os, const StreamedCase& c) { return os << c.name; }

DownloadDelays Delays(uint32_t partRetryMs) {
    DownloadDelays d;
    d.retryMs = 0;
    d.partRetryMs = partRetryMs;
    d.partStartMs = 0;
    d.monikerRetryMs = 0;
    d.backoffUnitMs = 0;
    return d;
}

const char kMismatch[] = "1006 mtcurl文件md5校验失败";
constexpr int kSeed = 31;

// 250 ms between the attempts of a part spreads the first run over several
// seconds, so that progress is reported and the part files are kept for the
// retry run.
const StreamedCase kCases[] = {
    {"TwoPartsAsTheyArrive", "", 20971520, Delays(0), "1001 | 1003", 0, {}},
    // Both parts are cut 13 times (their whole budget) after 300000 bytes a
    // time: the retry run continues both, and the bytes already on disk are
    // hashed before the new ones.
    {"BothPartsResumedInTheRetryRun", "short=26,cut=300000", 20971520, Delays(250), "1001 | 1005 18 | 1001 | 1003", 0,
     {"bytes=3900000-10485759", "bytes=14385760-20971519"}},
    {"ResumedPartsWithAnotherDigest", "short=26,cut=300000,wrongmd5", 20971520, Delays(250),
     std::string("1001 | 1005 18 | 1001 | ") + kMismatch + " | 1004 0", -1,
     {"bytes=3900000-10485759", "bytes=14385760-20971519"}},
    // The first part complete, the second resumed from its part file.
    {"CompletePartAndResumedPart", "short=13,cut=1000,from=10485760", 20971520, Delays(250),
     "1001 | 1005 18 | 1001 | 1003", 0, {"bytes=10498760-20971519"}},
    // The file changes on the server after its first bytes were hashed: the
    // retry run starts both parts from their first byte and hashes the new file.
    {"PartRestartedFromItsFirstByte", "short=1,cut=300000,changed=1", 20971520, Delays(0),
     "1001 | 1005 23 | 1001 | 1003", 1, {}},
    // A single range answered with the whole file (200).
    {"WholeFileForTheSingleRange", "norange", 2000000, Delays(0), "1001 | 1003", 0, {"bytes=0-1999999"}},
    {"WholeFileForTheSingleRangeWithAnotherDigest", "norange,wrongmd5", 2000000, Delays(0),
     std::string("1001 | ") + kMismatch + " | 1005 0 | 1001 | " + kMismatch + " | 1004 0", -1, {}},
};

class StreamedDigest : public ::testing::TestWithParam<StreamedCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server::Get().Running()) << "the local download server did not start";
        m_tag = dltest::TestTag();
        m_dest = m_dir.File(L"__Package_velqordoc.exe");
        Utils::SetLogSink([this](const std::wstring& line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_log.push_back(line);
        });
    }
    void TearDown() override { Utils::SetLogSink(nullptr); }

    bool Logged(const std::string& text) {
        std::wstring wide = Utils::Utf8ToWide(text);
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& line : m_log)
            if (line.find(wide) != std::wstring::npos) return true;
        return false;
    }

    testing_support::TempDir m_dir;
    std::string m_tag;
    std::wstring m_dest;
    std::mutex m_mutex;
    std::vector<std::wstring> m_log;
};

TEST_P(StreamedDigest, VerdictWithoutReadingTheFileBack) {
    const StreamedCase& c = GetParam();
    std::string modes = c.modes.empty() ? m_tag : c.modes + "," + m_tag;
    std::wstring url = Utils::Utf8ToWide(Server::Get().Url("/m/" + modes + "/r/" + GenName(c.size, kSeed)));
    Recorder rec;
    auto downloader = std::make_unique<CMTCurlDownloader>(rec.Callback(), url, m_dest, c.delays);
    rec.Attach(downloader.get());
    downloader->Start();
    bool ended = rec.WaitForEnd();
    downloader.reset();
    rec.Seal();
    ASSERT_TRUE(ended) << "no ending notification; so far: " << rec.Summary();
    EXPECT_EQ(rec.Summary(), c.summary);
    if (c.version >= 0) {
        EXPECT_TRUE(dltest::FileIsGenerated(m_dest, c.size, kSeed + c.version));
    } else {
        EXPECT_FALSE(Utils::FileExists(m_dest));
    }
    EXPECT_FALSE(Utils::FileExists(m_dest + L"_0"));
    EXPECT_FALSE(Utils::FileExists(m_dest + L"_1"));
    ASSERT_TRUE(Logged("start download")) << "the diagnostic log is not captured";
    EXPECT_FALSE(Logged(kReadBack)) << "the joined file was hashed again";
    auto ranges = Server::Get().GetRanges(m_tag);
    for (const std::string& range : c.ranges)
        EXPECT_NE(std::find(ranges.begin(), ranges.end(), range), ranges.end()) << "no request for " << range;
}

INSTANTIATE_TEST_SUITE_P(Cases, StreamedDigest, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace

// ---------------------------------------------------------------------------
// The hasher on its own, over part files on disk: the digest of the parts in
// order when each reached its planned size, "" (hash the joined file) when
// what was reported is not what is there.

namespace {

std::string Bytes(size_t size, char seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + (i >> 9));
    return bytes;
}

std::string DigestOf(const std::string& bytes, Utils::DigestKind kind) {
    Utils::Md5 hash(kind);
    hash.Update(bytes.data(), bytes.size());
    return hash.HexDigest();
}

struct HasherCase {
    const char* name;
    Utils::DigestKind kind;
    bool resumed;        // the first part is half on disk before the hasher starts
    size_t shortBy;      // the second part ends this many bytes short of its range
    size_t missingBy;    // the second part's writer reports this many bytes that are not on disk
    bool noSecondFile;   // the second part file does not exist
    bool trusted;
};

std::ostream& operator<<(std::ostream& os, const HasherCase& c) { return os << c.name; }

class PartHasher : public ::testing::TestWithParam<HasherCase> {};

TEST_P(PartHasher, DigestOfThePartsOrNothing) {
    const HasherCase& c = GetParam();
    testing_support::TempDir dir;
    const std::string first = Bytes(700000, 'a'), second = Bytes(300001, 'q');
    const std::wstring a = dir.File(L"p_0"), b = dir.File(L"p_1");
    const size_t resumed = c.resumed ? first.size() / 2 : 0;
    ASSERT_TRUE(Utils::WriteFileBytes(a, first.substr(0, resumed)));
    if (!c.noSecondFile) {
        ASSERT_TRUE(Utils::WriteFileBytes(b, ""));
    }
    download_detail::PartFilesHasher hasher(
        c.kind, {{a, static_cast<int64_t>(first.size()), static_cast<int64_t>(resumed)},
                 {b, static_cast<int64_t>(second.size()), 0}});
    // Both parts written in pieces, interleaved, each piece reported once it is on disk.
    const size_t piece = 65536;
    const size_t secondEnd = second.size() - c.shortBy;
    for (size_t at = 0; resumed + at < first.size() || at < secondEnd; at += piece) {
        if (resumed + at < first.size()) {
            size_t from = resumed + at, n = std::min(piece, first.size() - from);
            ASSERT_TRUE(Utils::AppendFileBytes(a, first.substr(from, n)));
            hasher.Grown(0, static_cast<int64_t>(from + n));
        }
        if (at < secondEnd && !c.noSecondFile) {
            size_t n = std::min(piece, secondEnd - at);
            ASSERT_TRUE(Utils::AppendFileBytes(b, second.substr(at, n)));
            hasher.Grown(1, static_cast<int64_t>(at + n + (at + n == secondEnd ? c.missingBy : 0)));
        }
    }
    hasher.Ended(0);
    hasher.Ended(1);
    std::string digest = hasher.Finish();
    if (c.trusted) {
        EXPECT_EQ(digest, DigestOf(first + second, c.kind));
    } else {
        EXPECT_EQ(digest, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PartHasher,
    ::testing::Values(HasherCase{"Md5", Utils::DigestKind::Md5, false, 0, 0, false, true},
                      HasherCase{"Sha256", Utils::DigestKind::Sha256, false, 0, 0, false, true},
                      HasherCase{"ResumedBytesFirst", Utils::DigestKind::Md5, true, 0, 0, false, true},
                      HasherCase{"PartEndedShort", Utils::DigestKind::Md5, false, 1, 0, false, false},
                      HasherCase{"ReportedBytesNotOnDisk", Utils::DigestKind::Md5, false, 1000, 1000, false, false},
                      HasherCase{"PartFileMissing", Utils::DigestKind::Md5, false, 0, 0, true, false}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
