// Package digests, URL escaping, the cache folder and folder creation.
#include <gtest/gtest.h>

#include <string>

#include "tests/common/temp_dir.h"
#include "utils/fs.h"
#include "utils/md5.h"
#include "utils/network.h"
#include "utils/text.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#else
#include <cstdlib>
#endif

namespace {

TEST(FileMd5, KnownDigestsAndUnreadableFile) {
    struct Case {
        std::string content;
        const char* md5;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        // Spans several read blocks.
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
    };
    testing_support::TempDir dir;
    for (const Case& c : cases) {
        std::wstring path = dir.File(L"f.bin");
        ASSERT_TRUE(Utils::WriteFileBytes(path, c.content));
        EXPECT_EQ(Utils::GetFileMd5(path), c.md5) << c.content.size() << " bytes";
    }
    EXPECT_EQ(Utils::GetFileMd5(dir.File(L"missing.bin")), "");
}

TEST(UrlMd5, SegmentBeforeTheFileName) {
    struct Case {
        const char* url;
        const char* expected;
    };
    const Case cases[] = {
        {"https://dl.example.com/pkg/0cc175b9c0f1b6a831c399e269772661/setup.exe", "0cc175b9c0f1b6a831c399e269772661"},
        {"https://dl.example.com/setup.exe", "dl.example.com"},  // file directly under the host
        {"https://dl.example.com/a/b/", "b"},
        {"setup.exe", ""},
        {"dir/setup.exe", ""},
        {"/setup.exe", ""},
        {"http://h/d/f.exe?x=1/2", "f.exe?x=1"},  // the query is not treated specially
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Utils::GetUrlMd5(c.url), c.expected) << c.url;
}

TEST(UrlMd5, ComparisonIgnoresCaseButNotLength) {
    EXPECT_TRUE(Utils::Md5Equal("0cc175b9c0f1b6a831c399e269772661", "0CC175B9C0F1B6A831C399E269772661"));
    EXPECT_FALSE(Utils::Md5Equal("0cc175b9c0f1b6a831c399e269772661", "0cc175b9c0f1b6a831c399e269772662"));
    EXPECT_FALSE(Utils::Md5Equal("0cc175b9c0f1b6a831c399e26977266", "0cc175b9c0f1b6a831c399e26977266"));
    EXPECT_FALSE(Utils::Md5Equal("", ""));
}

TEST(UrlEncode, EscapesEverythingOutsidePrintableAscii) {
    struct Case {
        const wchar_t* in;
        const wchar_t* out;
    };
    const Case cases[] = {
        {L"http://h/a b/c.exe", L"http://h/a+b/c.exe"},
        {L"http://h/\u4e2d\u6587.exe", L"http://h/%E4%B8%AD%E6%96%87.exe"},
        {L"http://h/%41%20already", L"http://h/%41%20already"},
        {L"a\tb\u007f~!", L"a%09b%7F~!"},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(Utils::UrlEncode(c.in), c.out) << Utils::WideToUtf8(c.in);
}

// Points the platform's temp folder at dir for the life of the object.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::wstring& dir) {
#ifdef _WIN32
        wchar_t old[1024];
        DWORD n = GetEnvironmentVariableW(L"TMP", old, 1024);
        m_had = n > 0 && n < 1024;
        if (m_had) m_old = old;
        SetEnvironmentVariableW(L"TMP", dir.c_str());
#else
        const char* old = std::getenv("TMPDIR");
        m_had = old != nullptr;
        if (m_had) m_old = Utils::Utf8ToWide(old);
        setenv("TMPDIR", Utils::WideToUtf8(dir).c_str(), 1);
#endif
    }
    ~TempFolderOverride() {
#ifdef _WIN32
        SetEnvironmentVariableW(L"TMP", m_had ? m_old.c_str() : nullptr);
#else
        if (m_had)
            setenv("TMPDIR", Utils::WideToUtf8(m_old).c_str(), 1);
        else
            unsetenv("TMPDIR");
#endif
    }

private:
    bool m_had = false;
    std::wstring m_old;
};

TEST(TempCacheDir, CreatedOnceAndReturnedAgain) {
    testing_support::TempDir temp;
    TempFolderOverride use(temp.Path());
    std::wstring first = Utils::GetTempCacheDir();
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first.find(L"~ZelMoxTemp.92482B06FB471E17"), std::wstring::npos);
    EXPECT_EQ(first.back(), Utils::PathSeparator());
    EXPECT_EQ(first.rfind(temp.Path(), 0), 0u) << "not under the temp folder";
    ASSERT_TRUE(Utils::DirectoryExists(first));
    ASSERT_TRUE(Utils::WriteFileBytes(first + L"marker", "x"));
    EXPECT_EQ(Utils::GetTempCacheDir(), first);
    EXPECT_TRUE(Utils::FileExists(first + L"marker")) << "the folder was made anew";
}

TEST(TempCacheDir, EmptyWhenItCannotBeCreated) {
    testing_support::TempDir temp;
    std::wstring blocker = temp.File(L"not-a-folder");
    ASSERT_TRUE(Utils::WriteFileBytes(blocker, "x"));
    TempFolderOverride use(blocker);
    EXPECT_EQ(Utils::GetTempCacheDir(), L"");
}

// base + "\" + components so that the whole path is exactly `length` characters.
std::wstring PathOfLength(const std::wstring& base, size_t length) {
    std::wstring path = base;
    while (path.size() < length) {
        path += L'\\';
        size_t room = length - path.size();
        size_t n = room > 60 ? 50 : room;
        if (n == 0) n = 1;
        path += std::wstring(n, L'd');
    }
    return path;
}

TEST(CreateDirectories, TrailingBackslashCreatesEveryFolderAndNothingMore) {
    testing_support::TempDir temp;
    std::wstring path = temp.Path() + L"\\a\\b\\c\\";
    EXPECT_TRUE(Utils::CreateDirectories(path));
    EXPECT_TRUE(Utils::DirectoryExists(temp.Path() + L"\\a\\b\\c"));
    EXPECT_TRUE(Utils::CreateDirectories(path)) << "existing folders are fine";
    std::wstring noTrail = temp.Path() + L"\\x\\y";
    EXPECT_TRUE(Utils::CreateDirectories(noTrail));
    EXPECT_TRUE(Utils::DirectoryExists(noTrail));
}

TEST(CreateDirectories, LengthLimitIs260Characters) {
    testing_support::TempDir temp;
    std::wstring base = temp.Path() + L"\\long";
    ASSERT_LT(base.size(), 200u);
    std::wstring at261 = PathOfLength(base, 261);
    ASSERT_EQ(at261.size(), 261u);
    EXPECT_FALSE(Utils::CreateDirectories(at261));
    EXPECT_FALSE(Utils::PathExists(base)) << "a refused path creates nothing";
    std::wstring at260 = PathOfLength(base, 260);
    ASSERT_EQ(at260.size(), 260u);
    EXPECT_TRUE(Utils::CreateDirectories(at260));
    EXPECT_TRUE(Utils::DirectoryExists(at260));
}

TEST(CreateDirectories, StopsAtAFileInTheWay) {
    testing_support::TempDir temp;
    ASSERT_TRUE(Utils::WriteFileBytes(temp.File(L"file"), "x"));
    EXPECT_FALSE(Utils::CreateDirectories(temp.Path() + L"\\file\\sub\\"));
}

// A folder named outside any one code page is still reached through the
// narrow file APIs (on Windows through its short form).
TEST(AnsiPathOf, ReachesFoldersWhateverTheirNames) {
    testing_support::TempDir dir;
    for (const wchar_t* name : {L"plain", L"Программы Велкор 軟件"}) {
        SCOPED_TRACE(Utils::WideToUtf8(name));
        std::wstring folder = Utils::JoinPath(dir.Path(), name);
        ASSERT_TRUE(Utils::CreateDirectories(folder + Utils::PathSeparator()));
        std::string narrow = Utils::AnsiPathOf(folder);
        ASSERT_FALSE(narrow.empty());
        EXPECT_TRUE(Utils::DirectoryExists(Utils::AnsiToWide(narrow)));
        if (std::wstring(name) == L"plain") {
            EXPECT_EQ(Utils::AnsiToWide(narrow), folder);
        }
    }
}

TEST(CheckNetwork, StatusInTheHighHalf) {
#ifdef _WIN32
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
#endif
    int32_t value = Utils::CheckNetwork();
#ifdef _WIN32
    if (SUCCEEDED(hr)) CoUninitialize();
    int32_t status = value >> 16, flags = value & 0xFFFF;
    EXPECT_TRUE(status >= 0 && status <= 2) << value;
    if (status == 1) {
        EXPECT_EQ(flags, 0);
    }
#else
    EXPECT_EQ(value, 0) << "without a network-list service the machine counts as connected";
#endif
}

}  // namespace
