#include "utils/disk_space.h"

#include "utils/log.h"

namespace Utils {

bool HardDiskManager::Query(const std::wstring& path, uint64_t& available, uint64_t& total, uint64_t& totalFree,
                            long& errorCode) {
    DiskSpace space;
    if (!QueryDiskSpace(path, space, errorCode)) return false;
    available = space.freeBytesAvailable;
    total = space.totalBytes;
    totalFree = space.totalFreeBytes;
    return true;
}

bool HardDiskManager::CheckFreeSpace(const std::wstring& path) {
    uint64_t available = 0, total = 0, totalFree = 0;
    long error = 0;
    if (!Query(path, available, total, totalFree, error)) {
        DEBUG_LOG(L"HardDiskManager::CheckFreeSpace FAIL code=%ld\r\n", error);
        return false;
    }
    freeBytesAvailable = available;
    totalBytes = total;
    totalFreeBytes = totalFree;
    return true;
}

}  // namespace Utils
