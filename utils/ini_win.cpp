#include <windows.h>

#include <vector>

#include "utils/ini.h"

namespace Utils {

std::wstring IniReadString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                           const std::wstring& defaultValue, size_t maxChars) {
    if (maxChars == 0) return {};
    std::vector<wchar_t> buf(maxChars, L'\0');
    DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buf.data(),
                                       static_cast<DWORD>(maxChars), path.c_str());
    return std::wstring(buf.data(), n);
}

int IniReadInt(const std::wstring& path, const std::wstring& section, const std::wstring& key, int defaultValue) {
    return static_cast<int>(GetPrivateProfileIntW(section.c_str(), key.c_str(), defaultValue, path.c_str()));
}

bool IniWriteString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value) {
    return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != FALSE;
}

std::string IniReadStringA(const std::string& path, const std::string& section, const std::string& key,
                           const std::string& defaultValue, size_t maxChars) {
    if (maxChars == 0) return {};
    std::vector<char> buf(maxChars, '\0');
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buf.data(),
                                       static_cast<DWORD>(maxChars), path.c_str());
    return std::string(buf.data(), n);
}

bool IniWriteStringA(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) != FALSE;
}

}  // namespace Utils
