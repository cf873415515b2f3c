#include "install/hard_disk_manager.h"

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

namespace install_checks {

std::wstring DrivePart(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    return path;
}

double FreeGigabytes(Utils::HardDiskManager& disk, const std::wstring& folder) {
    disk.CheckFreeSpace(DrivePart(folder));
    return static_cast<double>(disk.freeBytesAvailable) / kBytesPerGigabyte;
}

bool HasEnoughFreeSpace(Utils::HardDiskManager& disk, const std::wstring& folder) {
    return FreeGigabytes(disk, folder) >= kRequiredFreeGigabytes;
}

}  // namespace install_checks
