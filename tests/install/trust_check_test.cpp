// The check a downloaded program passes before it runs: where no signature is
// required (an HTTPS URL, no publisher), the digest the download was checked
// against is checked again on the held file, so a file put in its place after
// the download is never run.
#include <gtest/gtest.h>

#include <string>

#include "common/temp_dir.h"
#include "install/package_trust.h"
#include "utils/fs.h"
#include "utils/md5.h"
#include "utils/signature.h"
#include "utils/text.h"

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

TEST(TrustCheck, TheHeldFileMustBeTheDownloadedOne) {
    testing_support::TempDir dir;
    const std::wstring path = dir.File(L"__Package_velqordoc.exe");
    const std::string downloaded = "the bytes the download checked";
    ASSERT_TRUE(Utils::WriteFileBytes(path, downloaded));
    const std::string md5 = Utils::GetFileDigest(path, Utils::DigestKind::Md5);
    const std::string sha256 = Utils::GetFileDigest(path, Utils::DigestKind::Sha256);
    ASSERT_EQ(md5.size(), 32u);
    ASSERT_EQ(sha256.size(), 64u);
    InstallChoices https;
    https.downloadUrl = L"https://example.invalid/" + Utils::Utf8ToWide(md5) + L"/velqor.exe";
    ASSERT_FALSE(install_trust::SignatureRequired(https));

    const struct {
        const char* name;
        std::string content;  // what lies at the path when it is checked
        std::string digest;   // what the download was checked against
        bool runs;
    } cases[] = {
        {"the downloaded file, MD5", downloaded, md5, true},
        {"the downloaded file, SHA-256 (any case)", downloaded, Upper(sha256), true},
        {"no digest in the URL: nothing to compare", "anything", "", true},
        {"replaced after the download", "planted bytes", md5, false},
        {"replaced after the download, SHA-256", "planted bytes", sha256, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Utils::WriteFileBytes(path, c.content));
        install_trust::Verdict verdict = install_trust::CheckProgram(path, https, L"package", c.digest);
        EXPECT_EQ(verdict.ok, c.runs) << Utils::WideToUtf8(verdict.reason);
        EXPECT_EQ(verdict.file != nullptr, c.runs);
        if (!c.runs) {
            EXPECT_NE(verdict.reason.find(L"package changed after its download"), std::wstring::npos)
                << Utils::WideToUtf8(verdict.reason);
        }
    }
}

// The digest is of what the handle holds, from its first byte to its end.
TEST(TrustCheck, HeldFileDigestReadsTheWholeHeldFile) {
    testing_support::TempDir dir;
    const std::wstring path = dir.File(L"program.exe");
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
    for (const std::string& content : {std::string(), std::string("x"), big}) {
        SCOPED_TRACE(content.size());
        ASSERT_TRUE(Utils::WriteFileBytes(path, content));
        Utils::HeldFile held(path);
        ASSERT_TRUE(held.Valid());
        for (auto kind : {Utils::DigestKind::Md5, Utils::DigestKind::Sha256})
            EXPECT_EQ(Utils::HeldFileDigest(held, kind), Utils::GetFileDigest(path, kind));
    }
    Utils::HeldFile missing(dir.File(L"absent.exe"));
    EXPECT_EQ(Utils::HeldFileDigest(missing, Utils::DigestKind::Md5), "");
}

}  // namespace
