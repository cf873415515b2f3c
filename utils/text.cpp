#include "utils/text.h"

#include <cerrno>
#include <climits>
#include <cwchar>
#include <cwctype>

namespace Utils {

void ReplaceAll(std::wstring& s, const std::wstring& from, const std::wstring& to) {
    if (from.empty()) return;
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::wstring::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
}

namespace {
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
    std::vector<std::wstring> args;
    size_t i = 0, n = line.size();
    if (n == 0) return args;

    // The program name: up to the closing quote, or up to the first blank; no escapes.
    std::wstring program;
    if (line[0] == L'"') {
        for (i = 1; i < n && line[i] != L'"'; ++i) program += line[i];
        if (i < n) ++i;  // the closing quote
    } else {
        for (; i < n && !IsBlank(line[i]); ++i) program += line[i];
    }
    args.push_back(program);
    while (i < n && IsBlank(line[i])) ++i;

    // The other arguments. quotes counts the quotes seen in the current run:
    // 1 = inside a quoted part; a third consecutive quote is a literal quote.
    std::wstring current;
    bool inArg = false;
    int quotes = 0;
    size_t backslashes = 0;
    while (i < n) {
        wchar_t c = line[i];
        if (IsBlank(c) && quotes == 0) {
            if (inArg) {
                args.push_back(current);
                current.clear();
                inArg = false;
            }
            backslashes = 0;
            ++i;
            continue;
        }
        inArg = true;
        if (c == L'\\') {
            current += c;
            ++backslashes;
            ++i;
        } else if (c == L'"') {
            if (backslashes % 2 == 0) {
                current.erase(current.size() - backslashes / 2);  // 2n backslashes -> n, quote toggles
                ++quotes;
            } else {
                current.erase(current.size() - backslashes / 2 - 1);  // 2n+1 -> n and a literal quote
                current += L'"';
            }
            ++i;
            backslashes = 0;
            while (i < n && line[i] == L'"') {
                if (++quotes == 3) {
                    current += L'"';
                    quotes = 0;
                }
                ++i;
            }
            if (quotes == 2) quotes = 0;
        } else {
            current += c;
            backslashes = 0;
            ++i;
        }
    }
    if (inArg) args.push_back(current);
    return args;
}

std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            backslashes = 0;
        } else {
            out.append(backslashes, L'\\');
            backslashes = 0;
        }
        if (c != L'\\') out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

long long ParseLeadingInteger(const std::wstring& s, bool* ok) {
    const wchar_t* begin = s.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    long long v = std::wcstoll(begin, &end, 10);
    if (ok) *ok = end != begin;
    return end == begin ? 0 : v;  // wcstoll saturates at the type's limits on overflow
}

double ParseLeadingDouble(const std::wstring& s, bool* ok) {
    const wchar_t* begin = s.c_str();
    wchar_t* end = nullptr;
    double v = std::wcstod(begin, &end);
    if (ok) *ok = end != begin;
    return end == begin ? 0.0 : v;
}

std::wstring ToLower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return s;
}

std::wstring UrlEncode(const std::wstring& url) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string in = WideToUtf8(url), out;
    out.reserve(in.size() * 3);
    for (unsigned char c : in) {
        if (c >= 0x21 && c <= 0x7E) {
            out.push_back(static_cast<char>(c));
        } else if (c == 0x20) {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return Utf8ToWide(out);
}

}  // namespace Utils
