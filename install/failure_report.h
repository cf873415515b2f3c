#pragma once
// The failure report texts sent to analytics when a download or a package run
// fails, and the facts gathered for them.
#include <string>

namespace Utils {
class HardDiskManager;
}

namespace install_checks {

constexpr const wchar_t* kDownloadFailureEvent = L"下载失败原因";
constexpr const wchar_t* kInstallFailureEvent = L"安装失败原因";

// "1.code=%ld；2.msg=%s；3.缓存磁盘容量=%.2fG；4.缓存读写权限=%s；5.服务器连接状态code=%d".
// value is truncated toward zero. The text is never cut.
std::wstring FormatDownloadFailureReport(double value, const std::wstring& message, double freeGigabytes,
                                         bool writable, int networkStatus);
// ":1.code=%ld；2.msg=%s" (install failures and downloader messages).
std::wstring FormatInstallFailureReport(double value, const std::wstring& message);

// The write test of a package path: an existing file there must be deletable;
// otherwise a new file must be creatable (it is deleted again at once). Leaves
// no file behind either way.
bool IsPackageFolderWritable(const std::wstring& packagePath);

// The whole download-failure text for a failure (value, message) of the package
// at packagePath, with the connectivity status the caller measured.
std::wstring BuildDownloadFailureReport(double value, const std::wstring& message, const std::wstring& packagePath,
                                        int networkStatus, Utils::HardDiskManager& disk);

}  // namespace install_checks
