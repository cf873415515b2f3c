#include <sys/statvfs.h>

#include <cerrno>

#include "utils/disk_space.h"
#include "utils/fs.h"

namespace Utils {

bool QueryDiskSpace(const std::wstring& path, DiskSpace& space, long& errorCode) {
    struct statvfs st{};
    if (::statvfs(NativePath(path).c_str(), &st) != 0) {
        errorCode = errno;
        return false;
    }
    space.freeBytesAvailable = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    space.totalBytes = static_cast<uint64_t>(st.f_blocks) * st.f_frsize;
    space.totalFreeBytes = static_cast<uint64_t>(st.f_bfree) * st.f_frsize;
    return true;
}

}  // namespace Utils
