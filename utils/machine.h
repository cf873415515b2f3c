#pragma once
// Machine facts the analytics layer describes every event with: OS version
// numbers, the primary screen, the user's locale, plus local-time conversion of
// an epoch count, short (8.3) path forms and setting an environment variable.
#include <cstdint>
#include <string>

#include "utils/fs.h"  // SetEnv

#include "utils/time.h"

namespace Utils {

// Major, minor and build number of the running system (build with its high
// bits cleared) and the Server 2003 R2 metric. False when the numbers cannot
// be read. The POSIX stand-in reports Windows 10 (10.0.19045).
bool GetOsVersionNumbers(uint32_t& major, uint32_t& minor, uint32_t& build, bool& serverR2);

// Pixel size of the primary screen (0 x 0 when unknown).
void GetPrimaryScreenSize(int& width, int& height);

// ISO 639 language and ISO 3166 country of the user's default locale ("zh",
// "CN"). False when either is unknown. POSIX reads LC_ALL / LC_MESSAGES / LANG.
bool GetUserLocaleNames(std::string& language, std::string& country);

// Local calendar time of a count of seconds since 1970-01-01 UTC.
LocalTime LocalTimeFromEpoch(int64_t seconds, int milliseconds);

// The short (8.3) form of an existing path; the path itself when there is none.
std::wstring ShortPathOf(const std::wstring& path);


}  // namespace Utils
