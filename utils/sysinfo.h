#pragma once
// Small stateless queries about the machine and the user. Every query answers
// its default (false, empty, "XP-") when a platform call fails.
#include <cstdint>
#include <string>

namespace Utils {

// platform is always "Windows"; version is the short name of the Windows
// release ("XP", "7", "10", ...). The POSIX stand-in reports "10".
void GetOsVersionName(std::wstring& platform, std::wstring& version);
// The naming rule itself, fed with numbers (build: only the low 16 bits count).
// isServerR2 is the R2 system metric, consulted only for 5.2.
std::wstring OsVersionNameFromNumbers(uint32_t major, uint32_t minor, uint32_t build, bool isServerR2);

bool IsOs64Bit();
bool IsProcessAdmin();
bool GetConsoleUserName(std::wstring& name);
bool IsUserAdmin(const std::wstring& userName);

// A new GUID as 32 hex digits: Data1, Data2 upper case, Data3 lower case, Data4 upper case.
std::wstring NewGuidString();
std::wstring FormatGuid(uint32_t data1, uint16_t data2, uint16_t data3, const uint8_t data4[8]);

// The process's whole command line as the platform gives it (on POSIX the
// arguments are quoted back into one Windows-style line).
std::wstring GetProcessCommandLine();


// Major, minor and build number of the running system (build with its high
// bits cleared) and the Server 2003 R2 metric. False when the numbers cannot
// be read. The POSIX stand-in reports Windows 10 (10.0.19045).
bool GetOsVersionNumbers(uint32_t& major, uint32_t& minor, uint32_t& build, bool& serverR2);

// Pixel size of the primary screen (0 x 0 when unknown).
void GetPrimaryScreenSize(int& width, int& height);

// ISO 639 language and ISO 3166 country of the user's default locale ("zh",
// "CN"). False when either is unknown. POSIX reads LC_ALL / LC_MESSAGES / LANG.
bool GetUserLocaleNames(std::string& language, std::string& country);

}  // namespace Utils
