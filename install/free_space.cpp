#include "install/free_space.h"

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
