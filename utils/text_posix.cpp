// POSIX text conversions: wchar_t is UTF-32 and the "ANSI" code page is UTF-8.
#include <iconv.h>
#include <langinfo.h>

#include <cstdint>
#include <cstring>

#include "utils/text.h"

namespace Utils {

std::string WideToUtf8(const std::wstring& s) {
    std::string out;
    out.reserve(s.size());
    for (wchar_t wc : s) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& s) {
    // Like MultiByteToWideChar without MB_ERR_INVALID_CHARS: a malformed
    // sequence becomes U+FFFD.
    std::wstring out;
    out.reserve(s.size());
    size_t i = 0, n = s.size();
    auto cont = [&](size_t k) { return k < n && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80; };
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        uint32_t c;
        size_t len;
        if (b < 0x80) { c = b; len = 1; }
        else if (b >= 0xC2 && b < 0xE0) { c = b & 0x1F; len = 2; }
        else if (b >= 0xE0 && b < 0xF0) { c = b & 0x0F; len = 3; }
        else if (b >= 0xF0 && b < 0xF5) { c = b & 0x07; len = 4; }
        else { out += L'\xFFFD'; ++i; continue; }
        bool good = true;
        for (size_t k = 1; k < len; ++k) {
            if (!cont(i + k)) { good = false; break; }
            c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        if (good && ((len == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (len == 4 && (c < 0x10000 || c > 0x10FFFF))))
            good = false;
        if (!good) { out += L'\xFFFD'; ++i; continue; }
        out += static_cast<wchar_t>(c);
        i += len;
    }
    return out;
}

std::string WideToAnsi(const std::wstring& s) { return WideToUtf8(s); }
std::wstring AnsiToWide(const std::string& s) { return Utf8ToWide(s); }
std::string Utf8ToAnsi(const std::string& s) { return s; }

std::wstring CodePageToWide(const std::string& s, unsigned codePage) {
    if (codePage == 65001 || codePage == 0) return Utf8ToWide(s);
    std::string from = codePage == 936 ? "GBK" : "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-32LE", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string in = s;
    std::string outBuf(in.size() * 4 + 4, '\0');
    char* ip = in.data();
    size_t il = in.size();
    char* op = outBuf.data();
    size_t ol = outBuf.size();
    std::wstring out;
    while (il > 0) {
        if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) {
            // An undecodable byte becomes U+FFFD, like the Windows default.
            if (ol < 4) break;
            uint32_t r = 0xFFFD;
            memcpy(op, &r, 4);
            op += 4;
            ol -= 4;
            ++ip;
            --il;
        }
    }
    iconv_close(cd);
    size_t count = (outBuf.size() - ol) / 4;
    out.resize(count);
    for (size_t k = 0; k < count; ++k) {
        uint32_t c;
        memcpy(&c, outBuf.data() + 4 * k, 4);
        out[k] = static_cast<wchar_t>(c);
    }
    return out;
}

}  // namespace Utils
