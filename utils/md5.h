#pragma once
// MD5 (RFC 1321) through the platform's hash service: BCrypt on Windows,
// OpenSSL's libcrypto elsewhere. Used to check downloaded packages against the
// digest their URL carries; not for anything security-relevant beyond that.
#include <cstddef>
#include <memory>
#include <string>

namespace Utils {

class Md5 {
public:
    Md5();
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
// The path segment before the file name ("" when the URL has fewer than two
// "/"). For a package URL ".../<md5>/<name>" that is the expected digest.
std::string GetUrlMd5(const std::string& url);
// True when both digests are 32 characters and equal ignoring letter case.
bool Md5Equal(const std::string& a, const std::string& b);

}  // namespace Utils
