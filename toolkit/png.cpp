#include "toolkit/png.h"

#include <zlib.h>

#include <cstring>
#include <limits>

namespace toolkit {
namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxSide = 4096;  // far larger than any skin image (the window is 600 x 400)

uint32_t Be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Undoes the filter of one row in place; `prior` is the row above (zeros for the first).
bool Unfilter(int type, unsigned char* row, const unsigned char* prior, size_t length, size_t bpp) {
    switch (type) {
        case 0:
            return true;
        case 1:
            for (size_t i = bpp; i < length; ++i) row[i] = static_cast<unsigned char>(row[i] + row[i - bpp]);
            return true;
        case 2:
            for (size_t i = 0; i < length; ++i) row[i] = static_cast<unsigned char>(row[i] + prior[i]);
            return true;
        case 3:
            for (size_t i = 0; i < length; ++i) {
                const int left = i >= bpp ? row[i - bpp] : 0;
                row[i] = static_cast<unsigned char>(row[i] + ((left + prior[i]) >> 1));
            }
            return true;
        case 4:
            for (size_t i = 0; i < length; ++i) {
                const int left = i >= bpp ? row[i - bpp] : 0, upLeft = i >= bpp ? prior[i - bpp] : 0;
                row[i] = static_cast<unsigned char>(row[i] + Paeth(left, prior[i], upLeft));
            }
            return true;
        default:
            return false;
    }
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

}  // namespace

PngResult ReadPng(std::string_view bytes, PngImage& out) {
    out = PngImage{};
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t left = bytes.size();
    if (left < sizeof kSignature || std::memcmp(p, kSignature, sizeof kSignature) != 0) return PngResult::NotPng;
    p += sizeof kSignature;
    left -= sizeof kSignature;

    uint32_t width = 0, height = 0;
    int colorType = -1;
    bool sawHeader = false, sawEnd = false;
    std::string data;                        // the IDAT chunks, joined
    unsigned char palette[256][4] = {};      // RGBA
    size_t paletteSize = 0;
    bool hasKey = false;
    uint16_t key[3] = {};                    // grey, or red green blue, of the transparent colour
    while (!sawEnd) {
        if (left < 12) return PngResult::Damaged;
        const uint32_t length = Be32(p);
        const unsigned char* type = p + 4;
        if (length > left - 12) return PngResult::Damaged;
        const unsigned char* body = p + 8;
        // The CRC is not checked: the images come from the program's own archive,
        // whose blocks carry their own checks.
        if (!sawHeader && std::memcmp(type, "IHDR", 4) != 0) return PngResult::Damaged;
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (sawHeader || length != 13) return PngResult::Damaged;
            sawHeader = true;
            width = Be32(body);
            height = Be32(body + 4);
            const int depth = body[8];
            colorType = body[9];
            if (width == 0 || height == 0 || body[10] != 0 || body[11] != 0) return PngResult::Damaged;
            if (colorType != 0 && colorType != 2 && colorType != 3 && colorType != 4 && colorType != 6)
                return PngResult::Damaged;
            if (depth != 8 || body[12] != 0 || width > kMaxSide || height > kMaxSide) return PngResult::Unsupported;
        } else if (std::memcmp(type, "PLTE", 4) == 0) {
            if (length % 3 != 0 || length / 3 > 256 || length == 0) return PngResult::Damaged;
            paletteSize = length / 3;
            for (size_t i = 0; i < paletteSize; ++i) {
                palette[i][0] = body[3 * i];
                palette[i][1] = body[3 * i + 1];
                palette[i][2] = body[3 * i + 2];
                palette[i][3] = 255;
            }
        } else if (std::memcmp(type, "tRNS", 4) == 0) {
            if (colorType == 3) {
                if (length > paletteSize) return PngResult::Damaged;
                for (size_t i = 0; i < length; ++i) palette[i][3] = body[i];
            } else if (colorType == 0 && length == 2) {
                hasKey = true;
                key[0] = static_cast<uint16_t>((body[0] << 8) | body[1]);
            } else if (colorType == 2 && length == 6) {
                hasKey = true;
                for (int i = 0; i < 3; ++i) key[i] = static_cast<uint16_t>((body[2 * i] << 8) | body[2 * i + 1]);
            } else {
                return PngResult::Damaged;
            }
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            data.append(reinterpret_cast<const char*>(body), length);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            sawEnd = true;
        } else if (!(type[0] & 0x20)) {
            return PngResult::Unsupported;  // a critical chunk this reader does not know
        }
        p += 12 + length;
        left -= 12 + length;
    }
    if (colorType == 3 && paletteSize == 0) return PngResult::Damaged;

    const size_t channels = colorType == 0 ? 1 : colorType == 2 ? 3 : colorType == 3 ? 1 : colorType == 4 ? 2 : 4;
    const size_t stride = width * channels;
    const size_t expected = (stride + 1) * height;
    std::vector<unsigned char> raw(expected);
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return PngResult::Damaged;
    z.next_in = reinterpret_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = raw.data();
    z.avail_out = static_cast<uInt>(raw.size());
    const int status = inflate(&z, Z_FINISH);
    const size_t produced = raw.size() - z.avail_out;
    inflateEnd(&z);
    if (status != Z_STREAM_END || produced != expected) return PngResult::Damaged;

    std::vector<unsigned char> zeros(stride, 0);
    PngImage image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.resize(static_cast<size_t>(width) * height);
    for (size_t y = 0; y < height; ++y) {
        unsigned char* row = raw.data() + y * (stride + 1);
        const unsigned char* prior = y ? raw.data() + (y - 1) * (stride + 1) + 1 : zeros.data();
        if (!Unfilter(row[0], row + 1, prior, stride, channels)) return PngResult::Damaged;
        const unsigned char* s = row + 1;
        uint32_t* d = image.pixels.data() + y * width;
        for (size_t x = 0; x < width; ++x, s += channels) {
            switch (colorType) {
                case 0:
                    d[x] = Argb(hasKey && s[0] == key[0] ? 0 : 255, s[0], s[0], s[0]);
                    break;
                case 2:
                    d[x] = Argb(hasKey && s[0] == key[0] && s[1] == key[1] && s[2] == key[2] ? 0 : 255, s[0], s[1], s[2]);
                    break;
                case 3: {
                    if (s[0] >= paletteSize) return PngResult::Damaged;
                    const unsigned char* c = palette[s[0]];
                    d[x] = Argb(c[3], c[0], c[1], c[2]);
                    break;
                }
                case 4:
                    d[x] = Argb(s[1], s[0], s[0], s[0]);
                    break;
                default:
                    d[x] = Argb(s[3], s[0], s[1], s[2]);
                    break;
            }
        }
    }
    out = std::move(image);
    return PngResult::Ok;
}

}  // namespace toolkit
