#pragma once
// A small PNG reader for the skin's images: 8 bits per sample, not
// interlaced, every colour type (grey, RGB, palette, grey + alpha, RGBA; a
// palette's or a colour key's transparency from "tRNS"). Anything else
// (16-bit or fewer than 8 bits per sample, interlacing) is left to the
// platform's decoder: ReadPng then says it cannot read the image.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace toolkit {

struct PngImage {
    int width = 0, height = 0;
    // Row after row, top first, one 0xAARRGGBB value per pixel with straight
    // (not premultiplied) alpha: the layout of a 32-bit ARGB bitmap.
    std::vector<uint32_t> pixels;
};

enum class PngResult {
    Ok,
    NotPng,       // no PNG signature
    Unsupported,  // a valid form this reader leaves to another decoder
    Damaged,      // malformed or cut short
};

// Decodes `bytes`; on anything but Ok, `out` is left empty.
PngResult ReadPng(std::string_view bytes, PngImage& out);

}  // namespace toolkit
