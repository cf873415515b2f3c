#pragma once
// Value syntax of the skin markup: integers, comma-separated tuples, colours and
// booleans. Every parser leaves its output untouched and returns false when the
// text is malformed, so a bad attribute keeps the control's default.
#include <cstdint>
#include <string>
#include <string_view>

namespace toolkit {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};

struct Size {
    int cx = 0, cy = 0;
    bool operator==(const Size&) const = default;
};

// 0xAARRGGBB.
using Color = uint32_t;
inline uint8_t AlphaOf(Color c) { return static_cast<uint8_t>(c >> 24); }

// Decimal integer, optional sign, surrounding blanks allowed; nothing else.
bool ParseInt(std::wstring_view text, int& out);
// "l,t,r,b" (four integers separated by commas).
bool ParseRect(std::wstring_view text, Rect& out);
// "w,h".
bool ParseSize(std::wstring_view text, Size& out);
// Optional "#" or "0x"/"0X", then 1..8 hexadecimal digits read as 0xAARRGGBB.
bool ParseColor(std::wstring_view text, Color& out);
// Control attributes: true exactly for "true".
inline bool IsTrue(std::wstring_view text) { return text == L"true"; }
// Window and font attributes: "true" in any letter case.
bool IsTrueNoCase(std::wstring_view text);
// ASCII case-insensitive comparison (markup names are ASCII).
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
std::wstring AsciiLower(std::wstring_view text);

}  // namespace toolkit
