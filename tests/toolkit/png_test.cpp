#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "toolkit/archive.h"
#include "toolkit/png.h"
#include "utils/fs.h"
#include "utils/text.h"

#ifdef _WIN32
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>
#endif

using namespace toolkit;

namespace {

void Put32(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void Chunk(std::string& png, const char* type, const std::string& body) {
    Put32(png, static_cast<uint32_t>(body.size()));
    std::string typed = std::string(type, 4) + body;
    png += typed;
    Put32(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()))));
}

std::string Header(uint32_t w, uint32_t h, int depth, int colorType, int interlace = 0) {
    std::string b;
    Put32(b, w);
    Put32(b, h);
    b += {static_cast<char>(depth), static_cast<char>(colorType), 0, 0, static_cast<char>(interlace)};
    return b;
}

std::string Deflate(const std::vector<unsigned char>& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The filtered scan lines of `rows` (each `stride` bytes, `bpp` bytes a pixel), all with filter `type`.
std::vector<unsigned char> Filter(const std::vector<std::vector<unsigned char>>& rows, int type, size_t bpp) {
    std::vector<unsigned char> out;
    for (size_t y = 0; y < rows.size(); ++y) {
        const auto& row = rows[y];
        std::vector<unsigned char> prior = y ? rows[y - 1] : std::vector<unsigned char>(row.size(), 0);
        out.push_back(static_cast<unsigned char>(type));
        for (size_t i = 0; i < row.size(); ++i) {
            const int left = i >= bpp ? row[i - bpp] : 0, up = prior[i], upLeft = i >= bpp ? prior[i - bpp] : 0;
            const int predicted = type == 0 ? 0 : type == 1 ? left : type == 2 ? up : type == 3 ? (left + up) / 2
                                                                                                : Paeth(left, up, upLeft);
            out.push_back(static_cast<unsigned char>(row[i] - predicted));
        }
    }
    return out;
}

std::string Png(const std::string& header, const std::vector<std::pair<const char*, std::string>>& before,
                const std::string& idat) {
    std::string png("\x89PNG\r\n\x1A\n", 8);
    Chunk(png, "IHDR", header);
    for (const auto& [type, body] : before) Chunk(png, type, body);
    // Split in two IDAT chunks: the reader joins them.
    Chunk(png, "IDAT", idat.substr(0, idat.size() / 2));
    Chunk(png, "IDAT", idat.substr(idat.size() / 2));
    Chunk(png, "IEND", "");
    return png;
}

// A 7 x 3 test picture: every pixel different, alpha varying.
constexpr int kW = 7, kH = 3;
uint32_t Pixel(int x, int y) {
    return (static_cast<uint32_t>(40 * y + 30 * x + 15) << 24) | (static_cast<uint32_t>(37 * x + 11 * y) << 16) |
           (static_cast<uint32_t>(200 - 23 * x) << 8) | static_cast<uint32_t>(90 + 50 * y + x);
}

}  // namespace

TEST(Png, EveryColourTypeAndFilterIsRead) {
    struct Form {
        int colorType;
        size_t channels;
    } forms[] = {{0, 1}, {2, 3}, {3, 1}, {4, 2}, {6, 4}};
    for (const Form& form : forms) {
        for (int filter = 0; filter <= 4; ++filter) {
            std::vector<std::vector<unsigned char>> rows;
            std::vector<uint32_t> expected;
            std::string palette, alphas;
            for (int y = 0; y < kH; ++y) {
                std::vector<unsigned char> row;
                for (int x = 0; x < kW; ++x) {
                    const uint32_t p = Pixel(x, y);
                    const unsigned char a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                    switch (form.colorType) {
                        case 0: row.push_back(g); expected.push_back(0xFF000000u | g << 16 | g << 8 | g); break;
                        case 2: row.insert(row.end(), {r, g, b}); expected.push_back(p | 0xFF000000u); break;
                        case 3:
                            row.push_back(static_cast<unsigned char>(palette.size() / 3));
                            palette += {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
                            alphas.push_back(static_cast<char>(a));
                            expected.push_back(p);
                            break;
                        case 4: row.insert(row.end(), {g, a}); expected.push_back(uint32_t(a) << 24 | g << 16 | g << 8 | g); break;
                        default: row.insert(row.end(), {r, g, b, a}); expected.push_back(p); break;
                    }
                }
                rows.push_back(row);
            }
            std::vector<std::pair<const char*, std::string>> extra;
            if (form.colorType == 3) extra = {{"PLTE", palette}, {"tRNS", alphas}};
            extra.insert(extra.begin(), {"tEXt", std::string("Comment\0test", 12)});  // ancillary: skipped
            const std::string png = Png(Header(kW, kH, 8, form.colorType), extra,
                                        Deflate(Filter(rows, filter, form.channels)));
            PngImage image;
            ASSERT_EQ(ReadPng(png, image), PngResult::Ok) << "colour type " << form.colorType << " filter " << filter;
            EXPECT_EQ(image.width, kW);
            EXPECT_EQ(image.height, kH);
            EXPECT_EQ(image.pixels, expected) << "colour type " << form.colorType << " filter " << filter;
        }
    }
}

TEST(Png, AColourKeyMakesItsColourTransparent) {
    // RGB with the key (1, 2, 3), grey with the key 7.
    std::vector<unsigned char> rgb = {0, 1, 2, 3, 1, 2, 4};
    PngImage image;
    ASSERT_EQ(ReadPng(Png(Header(2, 1, 8, 2), {{"tRNS", std::string("\0\1\0\2\0\3", 6)}}, Deflate(rgb)), image), PngResult::Ok);
    EXPECT_EQ(image.pixels, (std::vector<uint32_t>{0x00010203u, 0xFF010204u}));
    std::vector<unsigned char> grey = {0, 7, 8};
    ASSERT_EQ(ReadPng(Png(Header(2, 1, 8, 0), {{"tRNS", std::string("\0\7", 2)}}, Deflate(grey)), image), PngResult::Ok);
    EXPECT_EQ(image.pixels, (std::vector<uint32_t>{0x00070707u, 0xFF080808u}));
}

TEST(Png, FormsLeftToThePlatformAndDamagedFilesAreToldApart) {
    const std::string goodData = Deflate({0, 1, 2, 3});  // one RGB pixel
    const std::string good = Png(Header(1, 1, 8, 2), {}, goodData);
    struct Case {
        const char* what;
        std::string bytes;
        PngResult result;
    } cases[] = {
        {"empty", "", PngResult::NotPng},
        {"another format", "GIF89a......", PngResult::NotPng},
        {"16 bits per sample", Png(Header(1, 1, 16, 2), {}, Deflate({0, 1, 1, 2, 2, 3, 3})), PngResult::Unsupported},
        {"4 bits per sample", Png(Header(2, 1, 4, 0), {}, Deflate({0, 0x12})), PngResult::Unsupported},
        {"interlaced", Png(Header(1, 1, 8, 2, 1), {}, goodData), PngResult::Unsupported},
        {"unknown critical chunk", Png(Header(1, 1, 8, 2), {{"ABCD", "x"}}, goodData), PngResult::Unsupported},
        {"too large", Png(Header(5000, 1, 8, 0), {}, goodData), PngResult::Unsupported},
        {"cut short", good.substr(0, good.size() - 20), PngResult::Damaged},
        {"no header first", std::string("\x89PNG\r\n\x1A\n", 8) + good.substr(8 + 25), PngResult::Damaged},
        {"zero width", Png(Header(0, 1, 8, 2), {}, goodData), PngResult::Damaged},
        {"colour type 5", Png(Header(1, 1, 8, 5), {}, goodData), PngResult::Damaged},
        {"filter type 5", Png(Header(1, 1, 8, 2), {}, Deflate({5, 1, 2, 3})), PngResult::Damaged},
        {"too little data", Png(Header(2, 1, 8, 2), {}, goodData), PngResult::Damaged},
        {"too much data", Png(Header(1, 1, 8, 2), {}, Deflate({0, 1, 2, 3, 4, 5})), PngResult::Damaged},
        {"no zlib stream", Png(Header(1, 1, 8, 2), {}, "not deflated"), PngResult::Damaged},
        {"palette image without palette", Png(Header(1, 1, 8, 3), {}, Deflate({0, 0})), PngResult::Damaged},
        {"index past the palette", Png(Header(1, 1, 8, 3), {{"PLTE", std::string("\1\2\3", 3)}}, Deflate({0, 1})),
         PngResult::Damaged},
        {"more alphas than colours", Png(Header(1, 1, 8, 3), {{"PLTE", std::string("\1\2\3", 3)}, {"tRNS", "ab"}},
                                         Deflate({0, 0})), PngResult::Damaged},
    };
    for (const Case& c : cases) {
        PngImage image;
        image.width = 9;
        EXPECT_EQ(ReadPng(c.bytes, image), c.result) << c.what;
        if (c.result != PngResult::Ok) EXPECT_TRUE(image.pixels.empty() && image.width == 0) << c.what;
    }
    PngImage image;
    EXPECT_EQ(ReadPng(good, image), PngResult::Ok);
}

// Every image of the built skin is read here, with the size its header gives,
// and (under Windows) exactly as GDI+ reads it.
TEST(Png, EverySkinImageIsReadAsThePlatformReadsIt) {
    std::wstring path = Utils::Utf8ToWide(VELQOR_SKIN_ARCHIVE);
#ifdef _WIN32
    path = L"Z:" + path;  // Wine's drive for the Unix root
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
#endif
    std::string bytes;
    ASSERT_TRUE(Utils::ReadFileBytes(path, bytes));
    auto archive = SkinArchive::Open(std::move(bytes));
    ASSERT_NE(archive, nullptr);
    int images = 0;
    for (const std::wstring& name : archive->Names()) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, L".png") != 0) continue;
        ++images;
        std::string png;
        ASSERT_TRUE(archive->ReadFile(name, png));
        PngImage image;
        ASSERT_EQ(ReadPng(png, image), PngResult::Ok) << Utils::WideToUtf8(name);
        const auto* h = reinterpret_cast<const unsigned char*>(png.data()) + 16;
        EXPECT_EQ(image.width, (h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3]);
        EXPECT_EQ(image.height, (h[4] << 24) | (h[5] << 16) | (h[6] << 8) | h[7]);
#ifdef _WIN32
        IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(png.data()), static_cast<UINT>(png.size()));
        ASSERT_NE(stream, nullptr);
        {
            Gdiplus::Bitmap decoded(stream);
            ASSERT_EQ(decoded.GetLastStatus(), Gdiplus::Ok);
            ASSERT_EQ(static_cast<int>(decoded.GetWidth()), image.width);
            ASSERT_EQ(static_cast<int>(decoded.GetHeight()), image.height);
            Gdiplus::BitmapData data{};
            Gdiplus::Rect all(0, 0, image.width, image.height);
            ASSERT_EQ(decoded.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data), Gdiplus::Ok);
            int differing = 0;
            for (int y = 0; y < image.height; ++y) {
                const auto* row = static_cast<const uint32_t*>(data.Scan0) + static_cast<size_t>(y) * (data.Stride / 4);
                for (int x = 0; x < image.width; ++x)
                    if (row[x] != image.pixels[static_cast<size_t>(y) * image.width + x]) ++differing;
            }
            decoded.UnlockBits(&data);
            EXPECT_EQ(differing, 0) << Utils::WideToUtf8(name);
        }
        stream->Release();
#endif
    }
    EXPECT_GE(images, 60);
#ifdef _WIN32
    Gdiplus::GdiplusShutdown(token);
#endif
}
