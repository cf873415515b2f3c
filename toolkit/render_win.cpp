#include "toolkit/render_win.h"

#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "toolkit/archive.h"
#include "toolkit/image_string.h"
#include "utils/log.h"
#include "utils/thread.h"

namespace toolkit::render {
namespace {

Gdiplus::Rect ToGp(const Rect& r) { return Gdiplus::Rect(r.left, r.top, r.Width(), r.Height()); }

// A premultiplied 32-bit bitmap whose pixels are owned here.
struct OwnedBitmap {
    std::vector<uint8_t> pixels;
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
};

// A decoded image and, per part of it that was drawn at another size, that
// part scaled to the last size asked for. Shrinking is done here with an
// area-averaging filter, never by GDI+: Wine's GDI+ leaves the first
// destination column empty when it shrinks an image (the progress bar's cap
// showed a notch), and averaging is the better shrinking filter anyway.
struct DecodedImage {
    std::vector<uint8_t> pixels;
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    int width = 0, height = 0;
    std::map<std::tuple<int, int, int, int>, OwnedBitmap> shrunk;
    std::map<std::tuple<int, int, int, int>, std::pair<int, int>> shrunkSize;
};

size_t g_imageBytes = 0;

// Area average of the premultiplied pixels of `src` (a part of `img`) at w x h
// (each no larger than the part).
void ShrinkInto(const DecodedImage& img, const Rect& src, int w, int h, std::vector<uint8_t>& out) {
    out.assign(static_cast<size_t>(w) * h * 4, 0);
    const double sx = static_cast<double>(src.Width()) / w, sy = static_cast<double>(src.Height()) / h;
    const auto* in = reinterpret_cast<const uint32_t*>(img.pixels.data());
    auto* dst = reinterpret_cast<uint32_t*>(out.data());
    for (int y = 0; y < h; ++y) {
        const double y0 = y * sy, y1 = (y + 1) * sy;
        for (int x = 0; x < w; ++x) {
            const double x0 = x * sx, x1 = (x + 1) * sx;
            double acc[4] = {0, 0, 0, 0}, area = 0;
            for (int iy = static_cast<int>(y0); iy < src.Height() && iy < y1; ++iy) {
                const double wy = std::min<double>(iy + 1, y1) - std::max<double>(iy, y0);
                for (int ix = static_cast<int>(x0); ix < src.Width() && ix < x1; ++ix) {
                    const double wgt = wy * (std::min<double>(ix + 1, x1) - std::max<double>(ix, x0));
                    const uint32_t p = in[static_cast<size_t>(src.top + iy) * img.width + src.left + ix];
                    for (int k = 0; k < 4; ++k) acc[k] += wgt * ((p >> (8 * k)) & 0xFF);
                    area += wgt;
                }
            }
            uint32_t p = 0;
            for (int k = 0; k < 4; ++k)
                p |= static_cast<uint32_t>(std::clamp(area > 0 ? acc[k] / area + 0.5 : 0.0, 0.0, 255.0)) << (8 * k);
            dst[static_cast<size_t>(y) * w + x] = p;
        }
    }
}

// Draws the part `src` of the image into `dst`. A part drawn at another size
// is scaled once into a bitmap of the destination's size (kept until the part
// is asked for at another size) and copied from there: shrunk here by area
// averaging, enlarged by GDI+. Scaling on every paint would cost a large
// image's whole area each frame of an animation at 150 %.
void DrawScaled(Gdiplus::Graphics& g, DecodedImage& img, const Rect& dst, const Rect& src, Gdiplus::ImageAttributes& attr) {
    if (dst.Width() == src.Width() && dst.Height() == src.Height()) {
        g.DrawImage(img.bitmap.get(), ToGp(dst), src.left, src.top, src.Width(), src.Height(), Gdiplus::UnitPixel, &attr);
        return;
    }
    const auto key = std::make_tuple(src.left, src.top, src.right, src.bottom);
    OwnedBitmap& part = img.shrunk[key];
    auto& size = img.shrunkSize[key];
    const int dw = dst.Width(), dh = dst.Height();
    if (!part.bitmap || size != std::make_pair(dw, dh)) {
        g_imageBytes -= part.pixels.size();
        part.bitmap.reset();
        const int w = std::min(dw, src.Width()), h = std::min(dh, src.Height());
        OwnedBitmap small;
        ShrinkInto(img, src, w, h, small.pixels);
        small.bitmap = std::make_unique<Gdiplus::Bitmap>(w, h, w * 4, PixelFormat32bppPARGB, small.pixels.data());
        if (w == dw && h == dh) {
            part = std::move(small);
        } else {
            part.pixels.assign(static_cast<size_t>(dw) * dh * 4, 0);
            part.bitmap = std::make_unique<Gdiplus::Bitmap>(dw, dh, dw * 4, PixelFormat32bppPARGB, part.pixels.data());
            Gdiplus::Graphics big(part.bitmap.get());
            big.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
            big.SetInterpolationMode(Gdiplus::InterpolationModeBilinear);
            big.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
            Gdiplus::ImageAttributes edges;
            edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);  // no blending with what lies outside the part
            big.DrawImage(small.bitmap.get(), Gdiplus::Rect(0, 0, dw, dh), 0, 0, w, h, Gdiplus::UnitPixel, &edges);
        }
        g_imageBytes += part.pixels.size();
        size = {dw, dh};
    }
    g.DrawImage(part.bitmap.get(), ToGp(dst), 0, 0, dw, dh, Gdiplus::UnitPixel, &attr);
}

// Decoded once per (name, mask); a name the archive lacks is remembered as absent.
std::map<std::wstring, std::unique_ptr<DecodedImage>> g_images;

std::unique_ptr<DecodedImage> Decode(const std::string& bytes, bool hasMask, Color mask) {
    IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (!stream) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream));
    std::unique_ptr<DecodedImage> image;
    if (decoded && decoded->GetLastStatus() == Gdiplus::Ok) {
        const int w = static_cast<int>(decoded->GetWidth()), h = static_cast<int>(decoded->GetHeight());
        Gdiplus::BitmapData data{};
        Gdiplus::Rect all(0, 0, w, h);
        if (w > 0 && h > 0 &&
            decoded->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) == Gdiplus::Ok) {
            image = std::make_unique<DecodedImage>();
            image->width = w;
            image->height = h;
            image->pixels.resize(static_cast<size_t>(w) * h * 4);
            for (int y = 0; y < h; ++y) {
                const auto* src = static_cast<const uint32_t*>(data.Scan0) + static_cast<size_t>(y) * (data.Stride / 4);
                auto* dst = reinterpret_cast<uint32_t*>(image->pixels.data()) + static_cast<size_t>(y) * w;
                for (int x = 0; x < w; ++x) {
                    uint32_t p = src[x];
                    if (hasMask && (p & 0x00FFFFFF) == (mask & 0x00FFFFFF)) p = 0;
                    const uint32_t a = p >> 24;
                    if (a != 255) {
                        const uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255,
                                       b = (p & 0xFF) * a / 255;
                        p = (a << 24) | (r << 16) | (g << 8) | b;
                    }
                    dst[x] = p;
                }
            }
            decoded->UnlockBits(&data);
            image->bitmap = std::make_unique<Gdiplus::Bitmap>(w, h, w * 4, PixelFormat32bppPARGB, image->pixels.data());
        }
    }
    decoded.reset();
    stream->Release();
    return image;
}

std::wstring ImageKey(const std::wstring& file, bool hasMask, Color mask) {
    std::wstring key = SkinArchive::NormalizeName(file);
    if (hasMask) key += L"|" + std::to_wstring(mask & 0x00FFFFFF);
    return key;
}

std::unique_ptr<DecodedImage> DecodeFile(const std::wstring& file, bool hasMask, Color mask) {
    std::string bytes;
    auto archive = GetSkinArchive();
    if (!archive || !archive->ReadFile(file, bytes)) return nullptr;
    return Decode(bytes, hasMask, mask);
}

// Images decoded ahead of a window's first paint. The first PNG decode of a
// process starts the platform's imaging codecs (15-20 ms under Wine), and a
// page's images together take longer than the rest of the paint; a worker
// decodes them while the window is still being made. Each item is taken once,
// by the worker or by a paint that needs it first, so nothing is decoded twice
// and a paint never waits for an image the worker has not started.
struct AheadItem {
    std::wstring key, file;
    bool hasMask = false;
    Color mask = 0;
    std::atomic<bool> taken{false};
    bool done = false;                    // under Ahead::mutex
    std::unique_ptr<DecodedImage> image;  // the worker's result, under Ahead::mutex
};

struct Ahead {
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::unique_ptr<AheadItem>> items;  // fixed while the worker runs
    std::unique_ptr<Utils::Thread> worker;
    std::atomic<bool> stop{false};
};
Ahead g_ahead;

void KeepImage(const std::wstring& key, std::unique_ptr<DecodedImage> image) {
    if (image) g_imageBytes += image->pixels.size();
    g_images.emplace(key, std::move(image));
}

// Ends the current list: the worker finishes the list (or, with `early`, the
// image it is on) and is joined; what it decoded is kept, what it did not
// reach is decoded when drawn.
void FinishAhead(bool early) {
    if (g_ahead.worker) {
        if (early) g_ahead.stop = true;
        g_ahead.worker->Join();
        g_ahead.worker.reset();
    }
    for (auto& item : g_ahead.items)
        if (item->done && item->image && !g_images.count(item->key)) KeepImage(item->key, std::move(item->image));
    g_ahead.items.clear();
}

// The listed image `key`, decoded by the worker or here; false when it is not listed.
bool TakeAhead(const std::wstring& key, std::unique_ptr<DecodedImage>& image) {
    auto it = std::find_if(g_ahead.items.begin(), g_ahead.items.end(), [&](const auto& item) { return item->key == key; });
    if (it == g_ahead.items.end()) return false;
    AheadItem& item = **it;
    if (!item.taken.exchange(true)) {
        image = DecodeFile(item.file, item.hasMask, item.mask);
        return true;
    }
    {
        std::unique_lock<std::mutex> lock(g_ahead.mutex);
        g_ahead.finished.wait(lock, [&] { return item.done; });
        image = std::move(item.image);
    }
    // The worker's decode failed (no codec on that thread, say): the painting
    // thread tries once itself, as it would have without the list.
    if (!image) image = DecodeFile(item.file, item.hasMask, item.mask);
    return true;
}

uint32_t DecodeAheadBody() {
    // Some GDI+ codecs are COM objects: the worker's own apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (auto& item : g_ahead.items) {
        if (g_ahead.stop) break;
        if (item->taken.exchange(true)) continue;  // a paint took it
        std::unique_ptr<DecodedImage> image = DecodeFile(item->file, item->hasMask, item->mask);
        {
            std::lock_guard<std::mutex> lock(g_ahead.mutex);
            item->image = std::move(image);
            item->done = true;
        }
        g_ahead.finished.notify_all();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

DecodedImage* GetImage(const std::wstring& file, bool hasMask, Color mask) {
    const std::wstring key = ImageKey(file, hasMask, mask);
    auto it = g_images.find(key);
    if (it != g_images.end()) return it->second.get();
    std::unique_ptr<DecodedImage> image;
    if (!TakeAhead(key, image)) image = DecodeFile(file, hasMask, mask);
    DecodedImage* result = image.get();
    KeepImage(key, std::move(image));
    return result;
}

// Calls `fn(imageString, destOverride)` for each image the control draws in its current state.
template <class Fn> void ForEachDrawnImage(Control& c, Fn fn) {
    fn(c.BkImage(), nullptr);
    if (auto* button = c.As<Button>()) fn(button->CurrentImage(), nullptr);
    if (auto* progress = c.As<Progress>()) {
        const Rect fore = progress->ForeDest();
        if (!fore.Empty()) fn(progress->ForeImage(), &fore);
    }
}

void ListVisibleImages(Control& c, std::vector<std::unique_ptr<AheadItem>>& items) {
    if (!c.IsVisible()) return;
    ForEachDrawnImage(c, [&](const std::wstring& text, const Rect*) {
        ImageSpec desc;
        if (text.empty() || !ParseImageString(text, desc) || desc.file.empty()) return;
        std::wstring key = ImageKey(desc.file, desc.hasMask, desc.mask);
        if (g_images.count(key)) return;
        for (const auto& item : items)
            if (item->key == key) return;
        auto item = std::make_unique<AheadItem>();
        item->key = std::move(key);
        item->file = desc.file;
        item->hasMask = desc.hasMask;
        item->mask = desc.mask;
        items.push_back(std::move(item));
    });
    if (auto* box = c.As<Container>())
        for (size_t i = 0; i < box->Count(); ++i) ListVisibleImages(*box->ChildAt(i), items);
}

Rect Intersect(const Rect& a, const Rect& b) {
    return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

void DrawPart(Gdiplus::Graphics& g, DecodedImage& img, const Rect& dst, const Rect& src,
              Gdiplus::ImageAttributes& attr, bool tileX, bool tileY) {
    if (dst.Empty() || src.Empty()) return;
    if (!tileX && !tileY) {
        DrawScaled(g, img, dst, src, attr);
        return;
    }
    const int stepX = tileX ? src.Width() : dst.Width();
    const int stepY = tileY ? src.Height() : dst.Height();
    for (int y = dst.top; y < dst.bottom; y += stepY) {
        for (int x = dst.left; x < dst.right; x += stepX) {
            Rect cell{x, y, std::min(x + stepX, dst.right), std::min(y + stepY, dst.bottom)};
            // A partial tile takes the matching part of the source.
            const int sw = tileX ? cell.Width() : src.Width();
            const int sh = tileY ? cell.Height() : src.Height();
            DrawScaled(g, img, cell, Rect{src.left, src.top, src.left + sw, src.top + sh}, attr);
        }
    }
}

// Draws an image string into the control rectangle `box` (or `destOverride`,
// relative to it), clipped to the box.
// "dest" and the destination side of "corner" are layout units, scaled by the
// control's window; "source" and the image side of "corner" are image pixels.
void DrawImageString(Gdiplus::Graphics& g, const Control& owner, const std::wstring& text, const Rect& box,
                     const Rect* destOverride = nullptr) {
    if (text.empty()) return;
    ImageSpec desc;
    if (!ParseImageString(text, desc) || desc.file.empty()) return;
    DecodedImage* img = GetImage(desc.file, desc.hasMask, desc.mask);
    if (!img || !img->bitmap) return;
    Rect dst = box;
    const Rect scaledDest = owner.Scaled(desc.dest);
    const Rect* rel = destOverride ? destOverride : (desc.hasDest ? &scaledDest : nullptr);
    if (rel) dst = Intersect(Rect{box.left + rel->left, box.top + rel->top, box.left + rel->right, box.top + rel->bottom}, box);
    if (dst.Empty()) return;
    Rect src{0, 0, img->width, img->height};
    if (desc.hasSource) src = Intersect(desc.source, src);
    if (src.Empty()) return;

    Gdiplus::ImageAttributes attr;
    attr.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    if (desc.fade < 255) {
        Gdiplus::ColorMatrix m = {{{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, desc.fade / 255.0f, 0}, {0, 0, 0, 0, 1}}};
        attr.SetColorMatrix(&m);
    }
    // Scale-9: corner widths limited to half of both the source and the
    // destination; at another DPI the corners are drawn scaled as well.
    Rect c = desc.corner;
    c.left = std::clamp(c.left, 0, src.Width() / 2);
    c.right = std::clamp(c.right, 0, src.Width() / 2);
    c.top = std::clamp(c.top, 0, src.Height() / 2);
    c.bottom = std::clamp(c.bottom, 0, src.Height() / 2);
    Rect d = owner.Scaled(c);
    d.left = std::min(d.left, dst.Width() / 2);
    d.right = std::min(d.right, dst.Width() / 2);
    d.top = std::min(d.top, dst.Height() / 2);
    d.bottom = std::min(d.bottom, dst.Height() / 2);
    if (d.left < owner.Scaled(c.left)) c.left = std::min(c.left, d.left);
    if (d.right < owner.Scaled(c.right)) c.right = std::min(c.right, d.right);
    if (d.top < owner.Scaled(c.top)) c.top = std::min(c.top, d.top);
    if (d.bottom < owner.Scaled(c.bottom)) c.bottom = std::min(c.bottom, d.bottom);
    const int sx[4] = {src.left, src.left + c.left, src.right - c.right, src.right};
    const int sy[4] = {src.top, src.top + c.top, src.bottom - c.bottom, src.bottom};
    const int dx[4] = {dst.left, dst.left + d.left, dst.right - d.right, dst.right};
    const int dy[4] = {dst.top, dst.top + d.top, dst.bottom - d.bottom, dst.bottom};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const bool middle = row == 1 && col == 1;
            if (middle && desc.hole) continue;
            DrawPart(g, *img, Rect{dx[col], dy[row], dx[col + 1], dy[row + 1]}, Rect{sx[col], sy[row], sx[col + 1], sy[row + 1]},
                     attr, desc.xtiled && col == 1, desc.ytiled && row == 1);
        }
    }
}

void RoundRectPath(Gdiplus::GraphicsPath& path, const Rect& r, Size round) {
    const int w = std::min(round.cx, r.Width()), h = std::min(round.cy, r.Height());
    if (w <= 0 || h <= 0) {
        path.AddRectangle(ToGp(r));
        return;
    }
    const int right = r.right - 1, bottom = r.bottom - 1;
    path.AddArc(r.left, r.top, w, h, 180, 90);
    path.AddArc(right - w, r.top, w, h, 270, 90);
    path.AddArc(right - w, bottom - h, w, h, 0, 90);
    path.AddArc(r.left, bottom - h, w, h, 90, 90);
    path.CloseFigure();
}

Gdiplus::Color ToGpColor(Color c) { return Gdiplus::Color(static_cast<Gdiplus::ARGB>(c)); }

void DrawText(Gdiplus::Graphics& g, Label& label, const FontTable& fonts) {
    const std::wstring& text = label.Text();
    if (text.empty()) return;
    const Rect& r = label.GetPos();
    const Rect& p = label.TextPadding();
    RECT rc{r.left + p.left, r.top + p.top, r.right - p.right, r.bottom - p.bottom};
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    const unsigned style = label.TextStyle();
    UINT flags = TextFlags(style) | DT_NOPREFIX;
    HDC dc = g.GetHDC();
    HGDIOBJ old = SelectObject(dc, fonts.Get(label.Font()));
    const Color color = label.CurrentTextColor();
    SetTextColor(dc, RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF));
    SetBkMode(dc, TRANSPARENT);
    if (!(style & kTextSingleLine) && (style & (kTextVCenter | kTextBottom))) {
        // GDI centres only single lines: measure the wrapped text and place it.
        RECT calc = rc;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc, flags | DT_CALCRECT);
        const int th = calc.bottom - calc.top, avail = rc.bottom - rc.top;
        if (th < avail) rc.top += (style & kTextBottom) ? avail - th : (avail - th) / 2;
    }
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, flags);
    SelectObject(dc, old);
    g.ReleaseHDC(dc);
}

// The keyboard focus: a dotted line in the skin's focus colour over a white
// one, just inside the control, so that it shows on light and dark parts alike.
void DrawFocusCue(Gdiplus::Graphics& g, Control& c, const Rect& dirty, Color color) {
    const Rect& r = c.GetPos();
    if (r.Width() < 4 || r.Height() < 4) return;
    g.ResetClip();
    g.SetClip(ToGp(Intersect(r, dirty)));
    const int line = std::max(c.Scaled(1), 1);
    const Rect inner{r.left + line, r.top + line, r.right - line, r.bottom - line};
    Gdiplus::GraphicsPath path;
    RoundRectPath(path, inner, c.BorderRound());
    const Gdiplus::SmoothingMode smoothing = g.GetSmoothingMode();
    g.SetSmoothingMode(Gdiplus::SmoothingModeNone);
    Gdiplus::Pen under(Gdiplus::Color(255, 255, 255, 255), static_cast<Gdiplus::REAL>(line));
    Gdiplus::Pen dots(ToGpColor(color | 0xFF000000u), static_cast<Gdiplus::REAL>(line));
    dots.SetDashStyle(Gdiplus::DashStyleDot);
    g.DrawPath(&under, &path);
    g.DrawPath(&dots, &path);
    g.SetSmoothingMode(smoothing);
}

void DrawControl(Gdiplus::Graphics& g, Control& c, const Rect& dirty, const DrawStyle& style) {
    if (!c.IsVisible()) return;
    const Rect& r = c.GetPos();
    if (r.Empty() || Intersect(r, dirty).Empty()) return;
    const Gdiplus::GraphicsState state = g.Save();
    g.SetClip(ToGp(Intersect(r, dirty)), Gdiplus::CombineModeIntersect);
    const Size round = c.BorderRound();
    const bool rounded = round.cx > 0 && round.cy > 0;
    Gdiplus::GraphicsPath path;
    if (rounded) RoundRectPath(path, r, round);

    auto* button = c.As<Button>();
    const Color fill = button ? button->CurrentBkColor() : c.BkColor();
    if (AlphaOf(fill) != 0) {
        Gdiplus::SolidBrush brush(ToGpColor(fill));
        if (rounded) g.FillPath(&brush, &path);
        else g.FillRectangle(&brush, ToGp(r));
    }
    if (rounded) g.SetClip(&path, Gdiplus::CombineModeIntersect);
    ForEachDrawnImage(c, [&](const std::wstring& text, const Rect* dest) { DrawImageString(g, c, text, r, dest); });
    if (auto* label = c.As<Label>()) DrawText(g, *label, style.fonts);
    if (c.BorderSize() > 0 && AlphaOf(c.BorderColor()) != 0) {
        g.ResetClip();
        g.SetClip(ToGp(Intersect(r, dirty)));
        Gdiplus::Pen pen(ToGpColor(c.BorderColor()), static_cast<Gdiplus::REAL>(c.BorderSize()));
        pen.SetAlignment(Gdiplus::PenAlignmentInset);
        if (rounded) g.DrawPath(&pen, &path);
        else g.DrawRectangle(&pen, r.left, r.top, r.Width() - 1, r.Height() - 1);
    }
    if (c.IsFocused() && style.focusCue && c.IsInteractive()) DrawFocusCue(g, c, dirty, style.focusCueColor);
    g.Restore(state);
    if (auto* box = c.As<Container>()) {
        const Gdiplus::GraphicsState inner = g.Save();
        g.SetClip(ToGp(r), Gdiplus::CombineModeIntersect);
        for (size_t i = 0; i < box->Count(); ++i) DrawControl(g, *box->ChildAt(i), dirty, style);
        g.Restore(inner);
    }
}

}  // namespace

UINT TextFlags(unsigned style) {
    UINT f = 0;
    if (style & kTextCenter) f |= DT_CENTER;
    else if (style & kTextRight) f |= DT_RIGHT;
    else f |= DT_LEFT;
    if (style & kTextSingleLine) {
        f |= DT_SINGLELINE;
        if (style & kTextVCenter) f |= DT_VCENTER;
        else if (style & kTextBottom) f |= DT_BOTTOM;
    }
    if (style & kTextWordBreak) f |= DT_WORDBREAK;
    if (style & kTextEndEllipsis) f |= DT_END_ELLIPSIS;
    return f;
}

HFONT FontTable::Get(int id) const {
    if (id >= 0)
        for (const auto& [fid, font] : m_fonts)
            if (fid == id && font) return font;
    return m_default ? m_default : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void FontTable::Clear() {
    for (const auto& entry : m_fonts)
        if (entry.second) DeleteObject(entry.second);
    m_fonts.clear();
    m_default = nullptr;
}

HFONT FontTable::Make(const FontSpec& f, int pixels) {
    return CreateFontW(-pixels, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, f.italic, f.underline, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       f.name.c_str());
}

void DrawTree(Gdiplus::Graphics& g, Control& root, const Rect& dirty, const DrawStyle& style) {
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    // Bilinear: Wine's GDI+ has no high-quality bilinear mode (it falls back
    // to plain bilinear); the same mode everywhere draws the same pixels.
    g.SetInterpolationMode(Gdiplus::InterpolationModeBilinear);
    g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    DrawControl(g, root, dirty, style);
}

void DecodeAhead(Control& root) {
    FinishAhead(false);
    ListVisibleImages(root, g_ahead.items);
    if (g_ahead.items.empty()) return;
    g_ahead.stop = false;
    g_ahead.worker = std::make_unique<Utils::Thread>(nullptr, L"ImageDecode", [](void*) { return DecodeAheadBody(); });
    if (!g_ahead.worker->Start()) {
        g_ahead.worker.reset();
        g_ahead.items.clear();  // decoded when drawn
    }
}

void ClearImageCache() {
    FinishAhead(true);
    g_images.clear();
    g_imageBytes = 0;
}

size_t ImageCacheBytes() { return g_imageBytes; }

}  // namespace toolkit::render
