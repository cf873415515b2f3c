#include <windows.h>

#include "utils/text.h"

namespace Utils {
namespace {

std::string FromWide(const std::wstring& s, UINT codePage) {
    if (s.empty()) return {};
    int n = WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring ToWide(const std::string& s, UINT codePage) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

}  // namespace

std::string WideToUtf8(const std::wstring& s) { return FromWide(s, CP_UTF8); }
std::wstring Utf8ToWide(const std::string& s) { return ToWide(s, CP_UTF8); }
std::string WideToAnsi(const std::wstring& s) { return FromWide(s, CP_ACP); }
std::wstring AnsiToWide(const std::string& s) { return ToWide(s, CP_ACP); }
std::string Utf8ToAnsi(const std::string& s) { return WideToAnsi(Utf8ToWide(s)); }
std::wstring CodePageToWide(const std::string& s, unsigned codePage) { return ToWide(s, codePage); }

}  // namespace Utils
