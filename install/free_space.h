#pragma once
// Free-space checks before an installation and in failure reports.
#include <string>

#include "utils/disk_space.h"

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
