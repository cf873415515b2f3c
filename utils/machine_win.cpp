#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "utils/machine.h"

namespace Utils {

bool GetOsVersionNumbers(uint32_t& major, uint32_t& minor, uint32_t& build, bool& serverR2) {
    major = minor = build = 0;
    serverR2 = false;
    // The version-numbers entry of ntdll is not in the import libraries: look it up.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return false;
    using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    auto fn = reinterpret_cast<RtlGetNtVersionNumbersFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
    if (!fn) return false;
    DWORD ma = 0, mi = 0, bu = 0;
    fn(&ma, &mi, &bu);
    major = ma;
    minor = mi;
    build = bu & 0xFFFF;
    serverR2 = GetSystemMetrics(89 /* SM_SERVERR2 */) != 0;
    return true;
}

void GetPrimaryScreenSize(int& width, int& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

bool GetUserLocaleNames(std::string& language, std::string& country) {
    char lang[16] = {}, ctry[16] = {};
    language.clear();
    country.clear();
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, lang, sizeof lang) <= 0) return false;
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, ctry, sizeof ctry) <= 0) return false;
    language = lang;
    country = ctry;
    return true;
}

LocalTime LocalTimeFromEpoch(int64_t seconds, int milliseconds) {
    __time64_t secs = seconds;
    tm t{};
    if (_localtime64_s(&t, &secs) != 0) return {1970, 1, 1, 0, 0, 0, milliseconds};
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, milliseconds};
}

std::wstring ShortPathOf(const std::wstring& path) {
    DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) return path;
    std::vector<wchar_t> buf(n + 1);
    DWORD got = GetShortPathNameW(path.c_str(), buf.data(), n + 1);
    if (got == 0 || got > n) return path;
    return std::wstring(buf.data(), got);
}

}  // namespace Utils
