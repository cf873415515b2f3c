#pragma once
// Text conversions. Wide strings inside the installer, UTF-8 for analytics and
// HTTP, the ANSI code page for narrow file paths (on POSIX the "ANSI" code page
// is UTF-8). Every conversion returns an empty string when the platform
// conversion yields nothing.
#include <string>
#include <vector>

namespace Utils {

std::string WideToUtf8(const std::wstring& s);
std::wstring Utf8ToWide(const std::string& s);
std::string WideToAnsi(const std::wstring& s);
std::wstring AnsiToWide(const std::string& s);
std::string Utf8ToAnsi(const std::string& s);
// Decodes bytes in the given code page (0 = ANSI, 65001 = UTF-8, 936 = GBK ...).
std::wstring CodePageToWide(const std::string& s, unsigned codePage);

// Replaces every occurrence of `from` (non-empty) by `to`, left to right.
void ReplaceAll(std::wstring& s, const std::wstring& from, const std::wstring& to);

// Splits a command line with CommandLineToArgvW's rules: blanks separate
// arguments, double quotes group, 2n backslashes before a quote give n
// backslashes and an open/close quote, 2n+1 give n backslashes and a literal
// quote, "" inside a quoted part is a literal quote; the program name (first
// argument) ends at the first blank or at its closing quote, without escapes.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);
// The inverse: quotes an argument so that SplitCommandLine gives it back.
std::wstring QuoteArgument(const std::wstring& arg);

// Parses like wcstol/wcstod from the start (leading blanks and sign allowed,
// trailing text ignored). ok is false when no number could be read at all.
long long ParseLeadingInteger(const std::wstring& s, bool* ok = nullptr);
double ParseLeadingDouble(const std::wstring& s, bool* ok = nullptr);

std::wstring ToLower(std::wstring s);

// UTF-8 bytes 0x21-0x7E kept, space -> "+", everything else -> "%XX".
std::wstring UrlEncode(const std::wstring& url);

}  // namespace Utils
