// velqor-fetch: runs one of the installer's downloaders exactly as the installer
// does (DL_CODE_RETRY starts it again) and prints every notification as
// "code<TAB>value<TAB>text". Exit code 0 after DL_CODE_SUCCESS, 1 after
// DL_CODE_FAIL, 2 for a bad command line.
//
//   velqor-fetch [--verbose] [--retry-delay-ms N] --type N URL DEST
//
// --type: 2 the URL-moniker downloader (Windows only), 3 the multi-part
// downloader, anything else the single-stream downloader (as DownloadType).
// --verbose keeps the diagnostic log (standard error natively).
#include <curl/curl.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/curl_downloader.h"
#include "download/mt_curl_downloader.h"
#include "utils/log.h"
#include "utils/text.h"
#ifdef _WIN32
#include "download/win_downloader.h"
#endif

namespace {

int Usage(const char* why) {
    std::fprintf(stderr, "velqor-fetch: %s\nusage: velqor-fetch [--verbose] [--retry-delay-ms N] --type N URL DEST\n",
                 why);
    return 2;
}

bool ParseInt(const std::string& text, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 10);
    return end && *end == '\0';
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** wargv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utils::WideToUtf8(wargv[i]));
#else
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
#endif
    long type = -1, retryDelay = -1;
    bool verbose = false;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--verbose") {
            verbose = true;
        } else if (args[i] == "--type" || args[i] == "--retry-delay-ms") {
            long value = 0;
            if (i + 1 >= args.size() || !ParseInt(args[i + 1], value) || value < 0)
                return Usage(("bad value for " + args[i]).c_str());
            (args[i] == "--type" ? type : retryDelay) = value;
            ++i;
        } else if (args[i].rfind("--", 0) == 0) {
            return Usage(("unknown option " + args[i]).c_str());
        } else {
            positional.push_back(args[i]);
        }
    }
    if (type < 0) return Usage("--type is required");
    if (positional.size() != 2) return Usage("URL and DEST are required");
    if (!verbose) Utils::SetLogSink([](const std::wstring&) {});
#ifndef _WIN32
    if (type == 2) return Usage("--type 2 (URL moniker) exists only on Windows");
#endif
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        std::fprintf(stderr, "velqor-fetch: libcurl cannot be initialised\n");
        return 1;
    }
    const std::wstring url = Utils::Utf8ToWide(positional[0]);
    const std::wstring dest = Utils::Utf8ToWide(positional[1]);
    DownloadDelays delays;
    if (retryDelay >= 0) {
        delays.retryMs = delays.partRetryMs = delays.monikerRetryMs = static_cast<uint32_t>(retryDelay);
    }

    std::mutex mutex;
    std::condition_variable cv;
    int outcome = 0;  // DL_CODE_SUCCESS or DL_CODE_FAIL once ended
    std::unique_ptr<CDownloader> downloader;
    DownloadCallback callback = [&](int code, double value, const wchar_t* text) {
        std::string line = std::to_string(code) + "\t";
        char number[64];
        std::snprintf(number, sizeof(number), "%.6g", value);
        line += number;
        line += "\t" + Utils::WideToUtf8(text ? text : L"") + "\n";
        {
            std::lock_guard<std::mutex> lock(mutex);
            std::fwrite(line.data(), 1, line.size(), stdout);
            std::fflush(stdout);
        }
        if (code == DL_CODE_RETRY) {
            downloader->Start();
        } else if (code == DL_CODE_SUCCESS || code == DL_CODE_FAIL) {
            std::lock_guard<std::mutex> lock(mutex);
            if (outcome == 0) outcome = code;
            cv.notify_all();
        }
    };
    if (type == 3) {
        downloader = std::make_unique<CMTCurlDownloader>(callback, url, dest, delays);
#ifdef _WIN32
    } else if (type == 2) {
        downloader = std::make_unique<CWinDownloader>(callback, url, dest, delays);
#endif
    } else {
        downloader = std::make_unique<CCurlDownloader>(callback, url, dest, delays);
    }
    downloader->Start();
    {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return outcome != 0; });
    }
    downloader.reset();
    curl_global_cleanup();
    return outcome == DL_CODE_SUCCESS ? 0 : 1;
}
