#pragma once
// The three numbers of a volume's free-space query, and HardDiskManager, which
// keeps them for the pre-install checks and the failure reports.
#include <cstdint>
#include <string>

namespace Utils {

struct DiskSpace {
    uint64_t freeBytesAvailable = 0;  // free bytes the calling user may use
    uint64_t totalBytes = 0;
    uint64_t totalFreeBytes = 0;
};

// Queries the volume that holds `path` (a folder or a drive such as "C:").
// On failure returns false and sets errorCode to the platform's error number.
bool QueryDiskSpace(const std::wstring& path, DiskSpace& space, long& errorCode);

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
