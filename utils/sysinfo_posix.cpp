// POSIX stand-ins of the machine and user queries.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "utils/sysinfo.h"
#include "utils/text.h"

namespace Utils {

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

bool GetOsVersionNumbers(uint32_t& major, uint32_t& minor, uint32_t& build, bool& serverR2) {
    major = 10;
    minor = 0;
    build = 19045;
    serverR2 = false;
    return true;
}

void GetPrimaryScreenSize(int& width, int& height) {
    width = 1920;
    height = 1080;
}

bool GetUserLocaleNames(std::string& language, std::string& country) {
    language.clear();
    country.clear();
    std::string value;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) {
            value = v;
            break;
        }
    }
    // "zh_CN.UTF-8@variant" -> "zh", "CN"
    value = value.substr(0, value.find_first_of(".@"));
    auto sep = value.find('_');
    if (sep == std::string::npos || sep == 0 || sep + 1 >= value.size()) return false;
    language = value.substr(0, sep);
    country = value.substr(sep + 1);
    return true;
}

}  // namespace Utils
