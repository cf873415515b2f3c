#include "utils/md5.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "utils/fs.h"

namespace Utils {

namespace {
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

FILE* OpenForReading(const std::wstring& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"rb");
#else
    return std::fopen(NativePath(path).c_str(), "rb");
#endif
}
}  // namespace

std::string HexLower(const unsigned char* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return out;
}


std::string GetFileMd5(const std::wstring& path) { return GetFileDigest(path, DigestKind::Md5); }

bool UrlDigestKind(const std::string& segment, DigestKind& kind) {
    // Any 32 characters stand for an MD5 (one that is not hex then fails the
    // comparison); 64 only when they are all hex digits.
    if (segment.size() == 32) {
        kind = DigestKind::Md5;
        return true;
    }
    if (segment.size() != 64) return false;
    for (char c : segment)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    kind = DigestKind::Sha256;
    return true;
}

bool DigestEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string DigestOfReads(DigestKind kind, const DigestReadFn& read) {
    Md5 md5(kind);
    if (!md5.Valid()) return {};
    std::vector<unsigned char> block(256 * 1024);
    for (;;) {
        size_t got = 0;
        if (!read(block.data(), block.size(), got)) return {};
        if (got == 0) break;
        md5.Update(block.data(), got);
    }
    return md5.HexDigest();
}

std::string GetFileDigest(const std::wstring& path, DigestKind kind) {
    std::unique_ptr<FILE, FileCloser> file(OpenForReading(path));
    if (!file) return {};
    return DigestOfReads(kind, [&](unsigned char* buffer, size_t size, size_t& got) {
        got = std::fread(buffer, 1, size, file.get());
        return !std::ferror(file.get());
    });
}

std::string GetUrlMd5(const std::string& url) {
    size_t last = url.rfind('/');
    if (last == std::string::npos) return {};
    std::string head = url.substr(0, last);
    size_t before = head.rfind('/');
    if (before == std::string::npos) return {};
    return head.substr(before + 1);
}

bool Md5Equal(const std::string& a, const std::string& b) {
    if (a.size() != 32 || b.size() != 32) return false;
    for (size_t i = 0; i < 32; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace Utils
