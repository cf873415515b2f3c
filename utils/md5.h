#pragma once
// MD5 (RFC 1321) through the platform's hash service: BCrypt on Windows,
// OpenSSL's libcrypto elsewhere. Used to check downloaded packages against the
// digest their URL carries; not for anything security-relevant beyond that.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace Utils {

// The digests a package URL may carry: MD5 (32 hex digits) or SHA-256 (64).
enum class DigestKind { Md5, Sha256 };

class Md5 {
public:
    // kind: MD5 unless asked for SHA-256 (same interface, the platform's hash).
    explicit Md5(DigestKind kind = DigestKind::Md5);
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    // False when the platform's hash service could not be set up; Update and
    // HexDigest then do nothing and return "".
    bool Valid() const;
    void Update(const void* data, size_t size);
    // The 16 digest bytes as 32 lower-case hexadecimal characters; "" on
    // failure. Finishes the hash: call once.
    std::string HexDigest();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Lower-case hexadecimal text of bytes ("%02x" per byte).
std::string HexLower(const unsigned char* bytes, size_t size);

// MD5 of a whole file as 32 lower-case hex characters; "" when it cannot be read.
std::string GetFileMd5(const std::wstring& path);
// The digest of that kind of a whole file (lower-case hex); "" when it cannot be read.
std::string GetFileDigest(const std::wstring& path, DigestKind kind);
// The same over any source of reads: read fills up to size bytes of buffer,
// sets got (0 at the end) and returns false when the read failed.
using DigestReadFn = std::function<bool(unsigned char* buffer, size_t size, size_t& got)>;
std::string DigestOfReads(DigestKind kind, const DigestReadFn& read);
// The kind of digest a URL's digest segment is: 32 characters MD5, 64 hex
// digits SHA-256; false for anything else.
bool UrlDigestKind(const std::string& segment, DigestKind& kind);
// True when both are digests of the same length and equal ignoring letter case.
bool DigestEqual(const std::string& a, const std::string& b);
// The path segment before the file name ("" when the URL has fewer than two
// "/"). For a package URL ".../<md5>/<name>" that is the expected digest.
std::string GetUrlMd5(const std::string& url);
// True when both digests are 32 characters and equal ignoring letter case.
bool Md5Equal(const std::string& a, const std::string& b);

}  // namespace Utils
