#pragma once
// Drawing of the control tree with GDI+ (images, fills, borders) and GDI
// (text), onto a window's back buffer.
#include <windows.h>

#include <objidl.h>  // GDI+ needs the COM types WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>

#include <vector>

#include "toolkit/control.h"
#include "toolkit/markup.h"

namespace toolkit {
namespace render {

// The GDI fonts of one window, made from its layout's font list for one DPI and
// found by the layout's font id; owns them.
class FontTable {
public:
    FontTable() = default;
    ~FontTable() { Clear(); }
    FontTable(const FontTable&) = delete;
    FontTable& operator=(const FontTable&) = delete;

    // Makes one font per entry of `fonts`, each `scale(size)` pixels high.
    template <class ScaleFn> void Build(const std::vector<FontSpec>& fonts, const FontSpec* defaultFont, ScaleFn scale) {
        Clear();
        for (const auto& f : fonts) {
            HFONT font = Make(f, scale(f.size));
            m_fonts.push_back({f.id, font});
            if (&f == defaultFont) m_default = font;
        }
    }
    // The font with layout id `id`; the layout's default font (or the
    // system's) for -1 or an id the layout does not define.
    HFONT Get(int id) const;
    void Clear();

private:
    static HFONT Make(const FontSpec& f, int pixels);
    std::vector<std::pair<int, HFONT>> m_fonts;  // (id, font) in layout order
    HFONT m_default = nullptr;
};

// What drawing needs to know of the window besides its controls.
struct DrawStyle {
    const FontTable& fonts;
    bool focusCue = false;  // draw the keyboard focus cue
    Color focusCueColor = 0;
};

// Draws `root` and its visible descendants that meet `dirty`.
void DrawTree(Gdiplus::Graphics& g, Control& root, const Rect& dirty, const DrawStyle& style);
// Starts decoding, on a worker, the images that `root`'s visible controls draw
// in their current state and that are not decoded yet, so that the window's
// first paint finds them ready. A paint that needs one first decodes it
// itself. The worker of an earlier call first finishes its list, which is kept.
void DecodeAhead(Control& root);
// GDI DT_* flags for a control's text style.
UINT TextFlags(unsigned style);
// Also ends a decode-ahead worker.
void ClearImageCache();
size_t ImageCacheBytes();

}  // namespace render
}  // namespace toolkit
