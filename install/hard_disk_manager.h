#pragma once
// Free-space checks before an installation and in failure reports.
#include <cstdint>
#include <string>

namespace Utils {

class HardDiskManager {
public:
    HardDiskManager() = default;
    virtual ~HardDiskManager() = default;

    // Queries the drive of `path` into the three fields; on failure logs the
    // platform's error code, returns false and leaves the fields as they were.
    bool CheckFreeSpace(const std::wstring& path);

    uint64_t freeBytesAvailable = 0;
    uint64_t totalBytes = 0;
    uint64_t totalFreeBytes = 0;

protected:
    // The platform query; tests put a drive of any size in its place.
    virtual bool Query(const std::wstring& path, uint64_t& available, uint64_t& total, uint64_t& totalFree,
                       long& errorCode);
};

}  // namespace Utils

namespace install_checks {

constexpr double kBytesPerGigabyte = 1073741824.0;
constexpr double kRequiredFreeGigabytes = 1.0;

// "C:" for "C:\Program Files\x"; on systems without drive letters the path itself.
std::wstring DrivePart(const std::wstring& path);
// Free gigabytes available on the drive of `folder`; 0 when the query fails.
double FreeGigabytes(Utils::HardDiskManager& disk, const std::wstring& folder);
// The rule before an installation starts: at least 1.0 GiB free.
bool HasEnoughFreeSpace(Utils::HardDiskManager& disk, const std::wstring& folder);

}  // namespace install_checks
