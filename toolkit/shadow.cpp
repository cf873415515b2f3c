#include "toolkit/shadow.h"

namespace toolkit {

bool ShadowParams::SetSize(int v) {
    if (v < -20 || v > 20) return false;
    size = v;
    return true;
}

bool ShadowParams::SetSharpness(int v) {
    if (v < 0 || v > 20) return false;
    sharpness = v;
    return true;
}

bool ShadowParams::SetDarkness(int v) {
    if (v < 0 || v > 255) return false;
    darkness = v;
    return true;
}

bool ShadowParams::SetPosition(int x, int y) {
    if (x < -20 || x > 20 || y < -20 || y > 20) return false;
    xOffset = x;
    yOffset = y;
    return true;
}

void ShadowParams::SetColor(uint32_t c) { colorRef = c & 0x00FFFFFF; }

bool ReadShadowAttributes(const WindowSpec& window, ShadowParams& params) {
    const std::wstring* show = window.Attribute(L"showshadow");
    if (!show || !IsTrueNoCase(*show)) return false;
    if (const auto* v = window.Attribute(L"shadowimage")) {
        params.image = *v;
        if (const auto* c = window.Attribute(L"shadowcorner")) ParseRect(*c, params.corner);
        // "shadowholeoffset" is read by the markup and not used.
    }
    int n;
    if (const auto* v = window.Attribute(L"shadowsize"); v && ParseInt(*v, n)) params.SetSize(n);
    if (const auto* v = window.Attribute(L"shadowsharpness"); v && ParseInt(*v, n)) params.SetSharpness(n);
    if (const auto* v = window.Attribute(L"shadowdarkness"); v && ParseInt(*v, n)) params.SetDarkness(n);
    if (const auto* v = window.Attribute(L"shadowposition")) {
        Size p;
        if (ParseSize(*v, p)) params.SetPosition(p.cx, p.cy);
    }
    if (const auto* v = window.Attribute(L"shadowcolor")) {
        Color c;
        // "#AABBGGRR"-style text read as a number whose lowest byte is red.
        if (ParseColor(*v, c)) params.SetColor(c);
    }
    return true;
}

}  // namespace toolkit
