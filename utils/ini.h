#pragma once
// Private-profile (INI) files with the Windows semantics: section and key names
// match case-insensitively, blanks around keys and values are trimmed, a value
// wrapped in a pair of matching quotes loses them, a missing file or key yields
// the default, and a string longer than maxChars - 1 characters is cut there.
// Writing creates the file and the section when needed. On Windows the file is
// in the ANSI code page, so characters outside it do not survive (as with any
// program using these functions); on POSIX files are UTF-8.
#include <string>

namespace Utils {

std::wstring IniReadString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                           const std::wstring& defaultValue, size_t maxChars = 260);
// GetPrivateProfileInt: leading decimal digits (sign allowed), default when absent.
int IniReadInt(const std::wstring& path, const std::wstring& section, const std::wstring& key, int defaultValue);
bool IniWriteString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value);

// Narrow (ANSI code page) variants, for callers that keep narrow text.
std::string IniReadStringA(const std::string& path, const std::string& section, const std::string& key,
                           const std::string& defaultValue, size_t maxChars = 260);
bool IniWriteStringA(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& value);

}  // namespace Utils
