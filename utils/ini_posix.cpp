// Private-profile files on POSIX, with the Windows reader's rules: names match
// case-insensitively, blanks around names and values are trimmed, one pair of
// matching quotes around a value is removed, the first matching key wins.
// Files are UTF-8; lines end in CR LF like the files Windows writes.
#include <algorithm>
#include <cwctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/text.h"

namespace Utils {
namespace {

std::wstring Trim(const std::wstring& s) {
    size_t b = s.find_first_not_of(L" \t\r\n");
    if (b == std::wstring::npos) return {};
    size_t e = s.find_last_not_of(L" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool SameName(const std::wstring& a, const std::wstring& b) { return ToLower(a) == ToLower(b); }

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::string bytes;
    std::vector<std::wstring> lines;
    if (!ReadFileBytes(path, bytes)) return lines;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::wstring text = Utf8ToWide(bytes);
    std::wstringstream in(text);
    std::wstring line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool IsSection(const std::wstring& line, std::wstring* name) {
    std::wstring t = Trim(line);
    if (t.size() < 2 || t[0] != L'[') return false;
    size_t close = t.find(L']');
    if (close == std::wstring::npos) return false;
    if (name) *name = Trim(t.substr(1, close - 1));
    return true;
}

bool SplitKey(const std::wstring& line, std::wstring& key, std::wstring& value) {
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos) return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return true;
}

// Index of the section header line, or -1.
long FindSection(const std::vector<std::wstring>& lines, const std::wstring& section) {
    std::wstring name;
    for (size_t i = 0; i < lines.size(); ++i)
        if (IsSection(lines[i], &name) && SameName(name, section)) return static_cast<long>(i);
    return -1;
}

}  // namespace

std::wstring IniReadString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                           const std::wstring& defaultValue, size_t maxChars) {
    std::wstring result = defaultValue;
    auto lines = ReadLines(path);
    long s = FindSection(lines, section);
    if (s >= 0) {
        for (size_t i = static_cast<size_t>(s) + 1; i < lines.size() && !IsSection(lines[i], nullptr); ++i) {
            std::wstring k, v;
            if (SplitKey(lines[i], k, v) && SameName(k, key)) {
                if (v.size() >= 2 && (v.front() == L'"' || v.front() == L'\'') && v.back() == v.front())
                    v = v.substr(1, v.size() - 2);
                result = v;
                break;
            }
        }
    }
    if (maxChars == 0) return {};
    if (result.size() > maxChars - 1) result.resize(maxChars - 1);
    return result;
}

int IniReadInt(const std::wstring& path, const std::wstring& section, const std::wstring& key, int defaultValue) {
    const std::wstring marker = L"\x1F<none>";
    std::wstring v = IniReadString(path, section, key, marker);
    if (v == marker) return defaultValue;
    long long n = ParseLeadingInteger(v);
    return static_cast<int>(n);
}

bool IniWriteString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                    const std::wstring& value) {
    auto lines = ReadLines(path);
    long s = FindSection(lines, section);
    std::wstring entry = key + L"=" + value;
    if (s < 0) {
        lines.push_back(L"[" + section + L"]");
        lines.push_back(entry);
    } else {
        size_t i = static_cast<size_t>(s) + 1;
        size_t insertAt = i;
        bool replaced = false;
        for (; i < lines.size() && !IsSection(lines[i], nullptr); ++i) {
            std::wstring k, v;
            if (SplitKey(lines[i], k, v)) {
                if (SameName(k, key)) {
                    lines[i] = entry;
                    replaced = true;
                    break;
                }
            }
            if (!Trim(lines[i]).empty()) insertAt = i + 1;
        }
        if (!replaced) lines.insert(lines.begin() + static_cast<long>(insertAt), entry);
    }
    std::wstring text;
    for (auto& l : lines) text += l + L"\r\n";
    return WriteFileBytes(path, WideToUtf8(text));
}

std::string IniReadStringA(const std::string& path, const std::string& section, const std::string& key,
                           const std::string& defaultValue, size_t maxChars) {
    return WideToAnsi(IniReadString(AnsiToWide(path), AnsiToWide(section), AnsiToWide(key), AnsiToWide(defaultValue),
                                    maxChars));
}

bool IniWriteStringA(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& value) {
    return IniWriteString(AnsiToWide(path), AnsiToWide(section), AnsiToWide(key), AnsiToWide(value));
}

}  // namespace Utils
