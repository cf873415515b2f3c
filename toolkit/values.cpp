#include "toolkit/values.h"

#include <vector>

namespace toolkit {
namespace {

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
    return s;
}

// Splits on commas; false when the number of parts differs or one part is not an integer.
bool ParseInts(std::wstring_view text, int* out, size_t count) {
    std::vector<int> values;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(L',', start);
        std::wstring_view part = text.substr(start, comma == std::wstring_view::npos ? text.npos : comma - start);
        int v = 0;
        if (!ParseInt(part, v)) return false;
        values.push_back(v);
        if (values.size() > count) return false;
        if (comma == std::wstring_view::npos) break;
        start = comma + 1;
    }
    if (values.size() != count) return false;
    for (size_t i = 0; i < count; ++i) out[i] = values[i];
    return true;
}

wchar_t LowerAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

bool ParseInt(std::wstring_view text, int& out) {
    text = Trim(text);
    if (text.empty()) return false;
    bool negative = false;
    if (text.front() == L'-' || text.front() == L'+') {
        negative = text.front() == L'-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10) return false;
    long long v = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        v = v * 10 + (c - L'0');
    }
    if (negative) v = -v;
    if (v > 2147483647LL || v < -2147483648LL) return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseRect(std::wstring_view text, Rect& out) {
    int v[4];
    if (!ParseInts(text, v, 4)) return false;
    out = Rect{v[0], v[1], v[2], v[3]};
    return true;
}

bool ParseSize(std::wstring_view text, Size& out) {
    int v[2];
    if (!ParseInts(text, v, 2)) return false;
    out = Size{v[0], v[1]};
    return true;
}

bool ParseColor(std::wstring_view text, Color& out) {
    text = Trim(text);
    if (!text.empty() && text.front() == L'#') {
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 8) return false;
    Color v = 0;
    for (wchar_t c : text) {
        unsigned d;
        if (c >= L'0' && c <= L'9') d = c - L'0';
        else if (c >= L'a' && c <= L'f') d = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F') d = c - L'A' + 10;
        else return false;
        v = (v << 4) | d;
    }
    out = v;
    return true;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool IsTrueNoCase(std::wstring_view text) { return EqualsNoCase(text, L"true"); }

std::wstring AsciiLower(std::wstring_view text) {
    std::wstring s(text);
    for (auto& c : s) c = LowerAscii(c);
    return s;
}

}  // namespace toolkit
