#pragma once
// Helpers of the download engine: package digests, URL escaping for the URL
// moniker and the cache folder.
#include <cstdint>
#include <string>

namespace Utils {

// MD5 of a whole file as 32 lower-case hex characters; "" when it cannot be read.
std::string GetFileMd5(const std::wstring& path);
// The path segment before the file name ("" when the URL has fewer than two
// "/"). For a package URL ".../<md5>/<name>" that is the expected digest.
std::string GetUrlMd5(const std::string& url);
// True when both digests are 32 characters and equal ignoring letter case.
bool Md5Equal(const std::string& a, const std::string& b);
// UTF-8 bytes 0x21-0x7E kept, space -> "+", everything else -> "%XX".
std::wstring UrlEncode(const std::wstring& url);

// "<temp>\~ZelMoxTemp.92482B06FB471E17\" (created when missing), or "".
std::wstring GetTempCacheDir();

}  // namespace Utils
