// POSIX stand-ins for the small platform queries: time, ids, the debugger
// channel (standard error), system information and the command line.
#include <pwd.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <thread>

#include "utils/log.h"
#include "utils/platform_internal.h"
#include "utils/sysinfo.h"
#include "utils/text.h"
#include "utils/time.h"

namespace Utils {

LocalTime GetLocalTime() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm t{};
    time_t secs = tv.tv_sec;
    localtime_r(&secs, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
            static_cast<int>(tv.tv_usec / 1000)};
}

uint32_t TickCount() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

namespace detail {
void EmitDebugLine(const std::wstring& line) {
    std::string text = WideToUtf8(line);
    fwrite(text.data(), 1, text.size(), stderr);  // one write per line, as formatted
}
}  // namespace detail

void GetOsVersionName(std::wstring& platform, std::wstring& version) {
    platform = L"Windows";
    version = L"10";  // stand-in: a current release
}

bool IsOs64Bit() { return sizeof(void*) == 8; }
bool IsProcessAdmin() { return geteuid() == 0; }

bool GetConsoleUserName(std::wstring& name) {
    passwd* pw = getpwuid(getuid());
    if (!pw || !pw->pw_name) return false;
    name = AnsiToWide(pw->pw_name);
    return true;
}

bool IsUserAdmin(const std::wstring& userName) {
    if (userName.empty()) return false;
    passwd* pw = getpwnam(WideToAnsi(userName).c_str());
    return pw && pw->pw_uid == 0;
}

std::wstring NewGuidString() {
    uint8_t b[16] = {};
    std::ifstream rnd("/dev/urandom", std::ios::binary);
    rnd.read(reinterpret_cast<char*>(b), sizeof b);
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // variant 1
    uint32_t d1 = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    uint16_t d2 = static_cast<uint16_t>((b[4] << 8) | b[5]);
    uint16_t d3 = static_cast<uint16_t>((b[6] << 8) | b[7]);
    return FormatGuid(d1, d2, d3, b + 8);
}

std::wstring GetProcessCommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring line;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos) end = all.size();
        if (!line.empty()) line += L' ';
        line += QuoteArgument(Utf8ToWide(all.substr(start, end - start)));
        start = end + 1;
    }
    return line;
}

}  // namespace Utils
