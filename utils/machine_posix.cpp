#include <cstdlib>
#include <ctime>

#include "utils/fs.h"
#include "utils/machine.h"
#include "utils/text.h"

namespace Utils {

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

LocalTime LocalTimeFromEpoch(int64_t seconds, int milliseconds) {
    time_t secs = static_cast<time_t>(seconds);
    tm t{};
    localtime_r(&secs, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, milliseconds};
}

std::wstring ShortPathOf(const std::wstring& path) { return path; }

}  // namespace Utils
