#include "install/protocol.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <limits>

namespace install_detail {

bool MatchKey(const std::wstring& line, const wchar_t* key, std::wstring& rest) {
    size_t n = std::wcslen(key);
    if (line.compare(0, n, key) != 0) return false;
    rest = line.substr(n);
    return true;
}

std::wstring TextValue(const std::wstring& rest) { return rest.substr(0, kMaxTextValue); }

std::wstring Trim(const std::wstring& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && std::iswspace(s[b])) ++b;
    while (e > b && std::iswspace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

double DoubleValue(const std::wstring& rest) {
    double v = 0;
    if (std::swscanf(rest.c_str(), L"%lf", &v) != 1 || !std::isfinite(v)) return 0;
    return v;
}

int32_t IntValue(const std::wstring& rest) {
    // Read wider and wrap to 32 bits, so an overlong number is not undefined.
    long long v = 0;
    if (std::swscanf(rest.c_str(), L"%lld", &v) != 1) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(v)));
}

bool VersionValue(const std::wstring& rest, int32_t& major, int32_t& minor, int32_t& patch) {
    int a = 0, b = 0, c = 0;
    if (std::swscanf(rest.c_str(), L"%d.%d.%d", &a, &b, &c) != 3) return false;
    major = a;
    minor = b;
    patch = c;
    return true;
}

unsigned PackageCodePage(const std::wstring& value) {
    std::wstring v = Trim(value);
    if (v == L"UTF8") return 65001;
    if (v == L"ACP") return 0;
    size_t i = 0;
    while (i < v.size() && (v[i] == L' ' || v[i] == L'\t')) ++i;
    unsigned long long n = 0;
    size_t digits = 0;
    for (; i < v.size() && v[i] >= L'0' && v[i] <= L'9'; ++i, ++digits) {
        n = n * 10 + static_cast<unsigned>(v[i] - L'0');
        if (n > std::numeric_limits<uint32_t>::max()) return 0;
    }
    return digits == 0 ? 0 : static_cast<unsigned>(n);
}

unsigned UninstallerCodePage(const std::wstring& value) { return Trim(value) == L"UTF8" ? 65001 : 0; }

}  // namespace install_detail
