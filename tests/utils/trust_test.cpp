// The pieces that keep what this process runs elevated what was checked: a
// file held against replacement, its signature, a private folder.
#include <gtest/gtest.h>

#include <string>

#include "tests/common/temp_dir.h"
#include "utils/fs.h"
#include "utils/private_folder.h"
#include "utils/signature.h"
#include "utils/text.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

TEST(HeldFile, OthersMayReadButNotReplaceIt) {
    testing_support::TempDir dir;
    const std::wstring path = dir.File(L"program.exe");
    ASSERT_TRUE(Utils::WriteFileBytes(path, "checked bytes"));
    {
        Utils::HeldFile held(path);
        ASSERT_TRUE(held.Valid());
        std::string bytes;
        EXPECT_TRUE(Utils::ReadFileBytes(path, bytes));
        EXPECT_EQ(bytes, "checked bytes");
#ifdef _WIN32
        // POSIX has no share modes; there the descriptor keeps the checked inode.
        EXPECT_FALSE(Utils::WriteFileBytes(path, "other bytes"));
        EXPECT_FALSE(Utils::MoveFileTo(path, dir.File(L"moved.exe")));
        EXPECT_FALSE(Utils::RemoveFile(path));
        ASSERT_TRUE(Utils::WriteFileBytes(dir.File(L"planted.exe"), "planted"));
        EXPECT_FALSE(Utils::MoveFileTo(dir.File(L"planted.exe"), path));
#endif
    }
    EXPECT_TRUE(Utils::RemoveFile(path));
}

TEST(HeldFile, MissingFileIsNotHeld) {
    testing_support::TempDir dir;
    Utils::HeldFile held(dir.File(L"absent.exe"));
    EXPECT_FALSE(held.Valid());
    EXPECT_FALSE(held.Error().empty());
    Utils::SignatureCheck check = Utils::VerifySignature(held, L"");
    EXPECT_EQ(check.status, Utils::SignatureStatus::Unavailable);
}

TEST(Signature, UnsignedFileIsRefusedWithTheReason) {
    testing_support::TempDir dir;
    const std::wstring path = dir.File(L"plain.exe");
    ASSERT_TRUE(Utils::WriteFileBytes(path, std::string(4096, 'x')));
    Utils::SignatureCheck check = Utils::VerifySignature(path, L"");
    EXPECT_EQ(check.status, Utils::SignatureStatus::Unsigned);
    EXPECT_EQ(Utils::DescribeSignatureCheck(check).rfind(L"unsigned", 0), 0u);
}

#ifndef _WIN32
// The POSIX stand-in block of the host tests (see utils/signature.h).
std::string Signed(const std::string& body, const std::string& publisher, const std::string& digest) {
    return body + "\n--velqor-test-signature--\npublisher=" + publisher + "\nsha256=" + digest + "\n";
}

TEST(Signature, PosixStandInBlock) {
    // SHA-256 of "payload".
    const std::string digest = "239f59ed55e737c77147cf55ad0c1b030b6d7ee748a7426952f9b852d5a935e5";
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring publisher;
        Utils::SignatureStatus expected;
    };
    const Case cases[] = {
        {"valid, any publisher", Signed("payload", "Velqor Ltd", digest), L"", Utils::SignatureStatus::Valid},
        {"valid, that publisher", Signed("payload", "Velqor Ltd", digest), L"Velqor Ltd",
         Utils::SignatureStatus::Valid},
        {"another publisher", Signed("payload", "Velqor Ltd", digest), L"Velqor", Utils::SignatureStatus::WrongPublisher},
        {"altered after signing", Signed("pAyload", "Velqor Ltd", digest), L"", Utils::SignatureStatus::Invalid},
        {"bytes appended after the block", Signed("payload", "Velqor Ltd", digest) + "MZ", L"",
         Utils::SignatureStatus::Invalid},
        {"no block", "payload", L"", Utils::SignatureStatus::Unsigned},
    };
    testing_support::TempDir dir;
    for (const Case& c : cases) {
        const std::wstring path = dir.File(L"p.bin");
        ASSERT_TRUE(Utils::WriteFileBytes(path, c.bytes));
        EXPECT_EQ(Utils::VerifySignature(path, c.publisher).status, c.expected) << c.name;
    }
}
#endif

TEST(PrivateFolder, FreshRandomFolderThatGoesWithItsOwner) {
    testing_support::TempDir dir;
    std::wstring path;
    {
        Utils::PrivateFolder a;
        Utils::PrivateFolder b;
        ASSERT_TRUE(a.Valid()) << Utils::WideToUtf8(a.Error());
        ASSERT_TRUE(b.Valid());
        EXPECT_NE(a.Path(), b.Path());
        EXPECT_EQ(Utils::FileNameOf(a.Path()).rfind(L"vq-", 0), 0u);
        EXPECT_EQ(Utils::FileNameOf(a.Path()).size(), 19u);
        EXPECT_TRUE(Utils::DirectoryExists(a.Path()));
        path = a.Path();
        ASSERT_TRUE(Utils::WriteFileBytes(Utils::JoinPath(path, L"copy.exe"), "program"));
#ifndef _WIN32
        struct stat st {};
        ASSERT_EQ(::stat(Utils::NativePath(path).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
#endif
    }
    EXPECT_FALSE(Utils::PathExists(path));
}

}  // namespace
