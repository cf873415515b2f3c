// The exit code an installation attempt earns from its notifications.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/downloader.h"
#include "install/exit_codes.h"
#include "install/pipeline.h"

namespace {

struct Note {
    int code;
    double value;
    std::wstring text;
};

TEST(InstallOutcome, TheLastVerdictOfARunGivesItsCode) {
    struct Case {
        const char* what;
        std::vector<Note> notes;
        int expected;
    } cases[] = {
        {"nothing attempted", {}, kExitInstalled},
        {"installed", {{DL_CODE_START, 0, L""}, {DL_CODE_SUCCESS, 0, L""}, {IST_CODE_SUCCESS, 0, L""}}, kExitInstalled},
        {"download failed", {{DL_CODE_START, 0, L""}, {DL_CODE_FAIL, 28, L"LibCurl"}}, kExitDownloadFailed},
        {"digest mismatch twice",
         {{DL_CODE_START, 0, L""}, {DL_CODE_MESSAGE, 0, L"curl文件md5校验失败"}, {DL_CODE_RETRY, 0, L"LibCurl"},
          {DL_CODE_START, 0, L""}, {DL_CODE_MESSAGE, 0, L"curl文件md5校验失败"}, {DL_CODE_FAIL, 0, L"LibCurl"}},
         kExitVerificationFailed},
        {"multi-part digest mismatch",
         {{DL_CODE_START, 0, L""}, {DL_CODE_MESSAGE, 0, L"mtcurl文件md5校验失败"}, {DL_CODE_FAIL, 0, L"LibCurl"}},
         kExitVerificationFailed},
        {"digest mismatch, then the retry fails on the network",
         {{DL_CODE_START, 0, L""}, {DL_CODE_MESSAGE, 0, L"curl文件md5校验失败"}, {DL_CODE_RETRY, 0, L"LibCurl"},
          {DL_CODE_START, 0, L""}, {DL_CODE_FAIL, 7, L"LibCurl"}},
         kExitDownloadFailed},
        {"no digest in the URL is no failure",
         {{DL_CODE_MESSAGE, 0, L"curl获取url-md5失败"}, {DL_CODE_FAIL, 7, L"LibCurl"}}, kExitDownloadFailed},
        {"package not started", {{IST_CODE_START, 0, L""}, {IST_CODE_FAIL, 2.0, L""}}, kExitPackageNotStarted},
        {"package State=Fail", {{IST_CODE_FAIL, 0.0, L"安装包安装失败"}}, kExitPackageFailed},
        {"package Error=", {{IST_CODE_FAIL, 1000.0, L"disk full"}}, kExitPackageFailed},
        {"uninstaller missing", {{UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在"}}, kExitRemovalFailed},
        {"uninstaller Error=", {{UNIST_CODE_ERROR, 0.0, L"busy"}}, kExitRemovalFailed},
        {"failure, then a retry that succeeds",
         {{DL_CODE_FAIL, 7, L"LibCurl"}, {DL_CODE_START, 0, L""}, {IST_CODE_SUCCESS, 0, L""}}, kExitInstalled},
        {"success and failure in one chunk", {{IST_CODE_SUCCESS, 0, L""}, {IST_CODE_FAIL, 1000, L"x"}},
         kExitPackageFailed},
    };
    for (const auto& c : cases) {
        InstallOutcome outcome;
        int verdicts = 0;
        for (const auto& n : c.notes) verdicts += outcome.Observe(n.code, n.value, n.text) ? 1 : 0;
        EXPECT_EQ(outcome.Code(), c.expected) << c.what;
        EXPECT_EQ(outcome.HasVerdict(), verdicts > 0) << c.what;
    }
}

TEST(InstallOutcome, ARefusalCountsUntilALaterSuccess) {
    InstallOutcome outcome;
    outcome.Refused(kExitNotEnoughSpace);
    EXPECT_TRUE(outcome.HasVerdict());
    EXPECT_EQ(outcome.Code(), kExitNotEnoughSpace);
    outcome.Observe(IST_CODE_SUCCESS, 0, L"");
    EXPECT_EQ(outcome.Code(), kExitInstalled);
}

TEST(ExitCodes, AreDistinctAndEachHasItsText) {
    const int codes[] = {kExitInstalled,       kExitAnotherInstance, kExitSkinFailure,        kExitBadCommandLine,
                         kExitProductRunning,  kExitNotEnoughSpace,  kExitInvalidFolder,      kExitNoNetwork,
                         kExitRemovalFailed,   kExitDownloadFailed,  kExitVerificationFailed, kExitPackageNotStarted,
                         kExitPackageFailed,   kExitCrashed};
    std::vector<std::wstring> texts;
    for (int code : codes) {
        const std::wstring text = ExitCodeText(code);
        EXPECT_NE(text, ExitCodeText(1000)) << code;
        for (const auto& t : texts) EXPECT_NE(t, text) << code;
        texts.push_back(text);
    }
    EXPECT_EQ(kExitAnotherInstance, -1);  // what the second instance has always returned
    EXPECT_EQ(kExitSkinFailure, 1);
}

}  // namespace
