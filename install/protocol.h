#pragma once
// Reading "Key=value" lines of the package and uninstaller output.
#include <cstdint>
#include <string>

namespace install_detail {

// Longest value a text key keeps (longer values are cut there).
constexpr size_t kMaxTextValue = 771;

// True when line starts with key at position 0 (case-sensitive); rest is then
// everything after the key.
bool MatchKey(const std::wstring& line, const wchar_t* key, std::wstring& rest);
// The rest of the line, untrimmed (a trailing carriage return stays), at most
// kMaxTextValue characters.
std::wstring TextValue(const std::wstring& rest);
// Leading and trailing white space removed.
std::wstring Trim(const std::wstring& s);
// A decimal number; 0 when none can be read or it is not finite.
double DoubleValue(const std::wstring& rest);
// An integer; 0 when none can be read.
int32_t IntValue(const std::wstring& rest);
// "a.b.c"; false when the three integers cannot be read.
bool VersionValue(const std::wstring& rest, int32_t& major, int32_t& minor, int32_t& patch);
// The code page of an "Encode=" value for the package: "UTF8", "ACP" or digits.
unsigned PackageCodePage(const std::wstring& value);
// The same for the uninstaller, which knows only "UTF8" and the ANSI code page.
unsigned UninstallerCodePage(const std::wstring& value);

}  // namespace install_detail
