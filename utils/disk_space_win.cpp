#include <windows.h>

#include "utils/disk_space.h"

namespace Utils {

bool QueryDiskSpace(const std::wstring& path, DiskSpace& space, long& errorCode) {
    ULARGE_INTEGER avail{}, total{}, totalFree{};
    if (!::GetDiskFreeSpaceExW(path.c_str(), &avail, &total, &totalFree)) {
        errorCode = static_cast<long>(::GetLastError());
        return false;
    }
    space.freeBytesAvailable = avail.QuadPart;
    space.totalBytes = total.QuadPart;
    space.totalFreeBytes = totalFree.QuadPart;
    return true;
}

}  // namespace Utils
