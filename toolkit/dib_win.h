#pragma once
// A 32-bit top-down DIB section selected into a memory DC of its own: the
// pixels can be written at Bits() and drawn into through Dc(); the bitmap and
// the DC are released with the object.
#include <windows.h>

#include <cstdint>

namespace toolkit {

class Dib32 {
public:
    // reference: the DC the section and the memory DC are made compatible with.
    Dib32(HDC reference, int width, int height) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        m_bitmap = CreateDIBSection(reference, &bi, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        if (!m_bitmap) return;
        m_dc = CreateCompatibleDC(reference);
        if (m_dc) m_old = SelectObject(m_dc, m_bitmap);
    }
    ~Dib32() {
        if (m_dc) {
            SelectObject(m_dc, m_old);
            DeleteDC(m_dc);
        }
        if (m_bitmap) DeleteObject(m_bitmap);
    }
    Dib32(const Dib32&) = delete;
    Dib32& operator=(const Dib32&) = delete;

    bool Valid() const { return m_bitmap && m_dc; }
    HDC Dc() const { return m_dc; }
    // Width x height pixels, row after row from the top, 0xAARRGGBB.
    uint32_t* Bits() const { return static_cast<uint32_t*>(m_bits); }

private:
    HBITMAP m_bitmap = nullptr;
    HDC m_dc = nullptr;
    HGDIOBJ m_old = nullptr;
    void* m_bits = nullptr;
};

}  // namespace toolkit
