#include "toolkit/image_string.h"

#include <algorithm>

namespace toolkit {

bool ParseImageString(std::wstring_view text, ImageSpec& out) {
    out = ImageSpec{};
    if (text.find(L'=') == std::wstring_view::npos) {
        out.file.assign(text);
        return !out.file.empty();
    }
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        while (i < n && (text[i] == L' ' || text[i] == L'\t' || text[i] == L'\r' || text[i] == L'\n')) ++i;
        if (i >= n) break;
        size_t eq = text.find(L'=', i);
        if (eq == std::wstring_view::npos) break;
        std::wstring_view key = text.substr(i, eq - i);
        while (!key.empty() && key.back() == L' ') key.remove_suffix(1);
        i = eq + 1;
        while (i < n && text[i] == L' ') ++i;
        std::wstring_view value;
        if (i < n && text[i] == L'\'') {
            size_t close = text.find(L'\'', i + 1);
            if (close == std::wstring_view::npos) close = n;
            value = text.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            size_t end = text.find(L' ', i);
            if (end == std::wstring_view::npos) end = n;
            value = text.substr(i, end - i);
            i = end;
        }
        if (key == L"file") out.file.assign(value);
        else if (key == L"res") out.res.assign(value);
        else if (key == L"restype") out.restype.assign(value);
        else if (key == L"dest") out.hasDest = ParseRect(value, out.dest) || out.hasDest;
        else if (key == L"source") out.hasSource = ParseRect(value, out.source) || out.hasSource;
        else if (key == L"corner" || key == L"scale9") ParseRect(value, out.corner);
        else if (key == L"hole") out.hole = IsTrue(value);
        else if (key == L"xtiled") out.xtiled = IsTrue(value);
        else if (key == L"ytiled") out.ytiled = IsTrue(value);
        else if (key == L"mask") out.hasMask = ParseColor(value, out.mask) || out.hasMask;
        else if (key == L"fade") {
            int f = 255;
            if (ParseInt(value, f)) out.fade = std::clamp(f, 0, 255);
        }
    }
    return !out.file.empty() || !out.res.empty();
}

}  // namespace toolkit
