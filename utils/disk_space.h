#pragma once
// The three numbers of a volume's free-space query.
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

}  // namespace Utils
