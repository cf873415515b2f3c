#pragma once
// Drawing of the control tree with GDI+ (images, fills, borders) and GDI
// (text), onto a window's back buffer.
#include <windows.h>

#include <objidl.h>  // GDI+ needs the COM types WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>

#include "toolkit/control.h"

namespace toolkit {
class WindowImpl;
namespace render {

// Draws `root` and its visible descendants that meet `dirty`.
void DrawTree(Gdiplus::Graphics& g, Control& root, const Rect& dirty, const WindowImpl& window);
// GDI DT_* flags for a control's text style.
UINT TextFlags(unsigned style);
void ClearImageCache();
size_t ImageCacheBytes();

}  // namespace render
}  // namespace toolkit
