#pragma once
// Parameters of a window's drop shadow, with the ranges the skin may use; the
// layered shadow window itself is CWindowShadow (shadow_win.h).
#include <cstdint>
#include <string>

#include "toolkit/markup.h"

namespace toolkit {

struct ShadowParams {
    int size = 0;          // -20..20: how far the shadow reaches beyond the window
    int sharpness = 5;     // 0..20: how quickly it fades
    int darkness = 200;    // 0..255: its opacity next to the window
    int xOffset = 0, yOffset = 0;  // -20..20 each
    uint32_t colorRef = 0;  // platform colour: red in the lowest byte; the top byte is ignored
    // "shadowimage" and its stretch margins "shadowcorner" are read and kept;
    // the shadow is always drawn from the parameters above (no shipped layout
    // names an image).
    std::wstring image;
    Rect corner;

    // Each setter refuses a value out of range and keeps the previous one.
    bool SetSize(int v);
    bool SetSharpness(int v);
    bool SetDarkness(int v);
    bool SetPosition(int x, int y);
    void SetColor(uint32_t colorRef);
};

// Reads the window attributes "showshadow", "shadowimage", "shadowcorner",
// "shadowsize", "shadowsharpness", "shadowdarkness", "shadowposition" and
// "shadowcolor" into `params`. Returns whether the layout asks for a shadow
// (only "showshadow" = "true" in any case); nothing else is read otherwise.
bool ReadShadowAttributes(const WindowSpec& window, ShadowParams& params);

}  // namespace toolkit
