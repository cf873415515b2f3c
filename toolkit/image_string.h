#pragma once
// Image strings of the skin markup: either a bare file name in the skin archive
// ("res\mainWnd\bg1.png") or blank-separated key='value' pairs
// ("file='res\mainWnd\Cb1.png' dest='0,7,16,23' corner='4,0,4,0' fade='140'").
#include <string>
#include <string_view>

#include "toolkit/values.h"

namespace toolkit {

struct ImageSpec {
    std::wstring file;
    std::wstring res, restype;  // a resource instead of a file (kept, not drawn)
    bool hasDest = false;
    Rect dest;                  // relative to the control's top-left corner
    bool hasSource = false;
    Rect source;                // part of the image; default the whole image
    Rect corner;                // scale-9 border widths
    bool hole = false;          // skip the middle part
    bool xtiled = false, ytiled = false;
    bool hasMask = false;
    Color mask = 0;             // colour made transparent at load time (0x00RRGGBB compare)
    int fade = 255;             // 0..255 overall opacity
};

// Never fails on bad input: malformed values are skipped and keep their
// defaults, an unterminated quote takes the rest of the text. Returns false
// only when the result names neither a file nor a resource.
bool ParseImageString(std::wstring_view text, ImageSpec& out);

}  // namespace toolkit
