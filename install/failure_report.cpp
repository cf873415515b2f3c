#include "install/failure_report.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "install/free_space.h"
#include "utils/fs.h"

namespace install_checks {

namespace {

long long TruncatedCode(double value) {
    if (!std::isfinite(value)) return 0;
    double t = std::trunc(value);
    if (t >= 9.2e18) return std::numeric_limits<long long>::max();
    if (t <= -9.2e18) return std::numeric_limits<long long>::min();
    return static_cast<long long>(t);
}

std::wstring TwoDecimals(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return std::wstring(buf, buf + std::char_traits<char>::length(buf));
}

}  // namespace

std::wstring FormatDownloadFailureReport(double value, const std::wstring& message, double freeGigabytes,
                                         bool writable, int networkStatus) {
    return L"1.code=" + std::to_wstring(TruncatedCode(value)) + L"；2.msg=" + message + L"；3.缓存磁盘容量=" +
           TwoDecimals(freeGigabytes) + L"G；4.缓存读写权限=" + (writable ? L"可读" : L"无权限") +
           L"；5.服务器连接状态code=" + std::to_wstring(networkStatus);
}

std::wstring FormatInstallFailureReport(double value, const std::wstring& message) {
    return L":1.code=" + std::to_wstring(TruncatedCode(value)) + L"；2.msg=" + message;
}

bool IsPackageFolderWritable(const std::wstring& packagePath) {
    if (Utils::FileExists(packagePath)) return Utils::RemoveFile(packagePath);
    if (!Utils::WriteFileBytes(packagePath, std::string())) {
        Utils::RemoveFile(packagePath);
        return false;
    }
    return Utils::RemoveFile(packagePath);
}

std::wstring BuildDownloadFailureReport(double value, const std::wstring& message, const std::wstring& packagePath,
                                        int networkStatus, Utils::HardDiskManager& disk) {
    bool writable = IsPackageFolderWritable(packagePath);
    double freeGb = FreeGigabytes(disk, Utils::ParentPath(packagePath));
    return FormatDownloadFailureReport(value, message, freeGb, writable, networkStatus);
}

}  // namespace install_checks
