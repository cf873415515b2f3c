// Free-space rule, the write test and the failure report texts.
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "install/failure_report.h"
#include "install/free_space.h"
#include "utils/fs.h"

using namespace install_checks;

namespace {

// A drive of a given size in place of the platform query.
class FakeDisk : public Utils::HardDiskManager {
public:
    explicit FakeDisk(uint64_t freeBytes, bool ok = true) : m_free(freeBytes), m_ok(ok) {}
    std::wstring queried;

protected:
    bool Query(const std::wstring& path, uint64_t& available, uint64_t& total, uint64_t& totalFree,
               long& errorCode) override {
        queried = path;
        if (!m_ok) {
            errorCode = 3;
            return false;
        }
        available = m_free;
        total = m_free * 2;
        totalFree = m_free;
        return true;
    }

private:
    uint64_t m_free;
    bool m_ok;
};

TEST(FreeSpace, OneGigabyteThreshold) {
    const uint64_t gib = 1073741824ull;
    FakeDisk justUnder(static_cast<uint64_t>(0.99 * gib));
    EXPECT_FALSE(HasEnoughFreeSpace(justUnder, L"C:\\Program Files\\velqordoc"));
    EXPECT_EQ(justUnder.queried, L"C:");
    FakeDisk exact(gib);
    EXPECT_TRUE(HasEnoughFreeSpace(exact, L"C:\\Program Files\\velqordoc"));
    FakeDisk oneByteShort(gib - 1);
    EXPECT_FALSE(HasEnoughFreeSpace(oneByteShort, L"D:\\x"));
    FakeDisk failing(100 * gib, false);
    EXPECT_FALSE(HasEnoughFreeSpace(failing, L"C:\\x"));
    EXPECT_EQ(failing.freeBytesAvailable, 0u);
}

TEST(FreeSpace, RealQueryOfTheTempDrive) {
    testing_support::TempDir dir;
    Utils::HardDiskManager disk;
    ASSERT_TRUE(disk.CheckFreeSpace(DrivePart(dir.Path())));
    EXPECT_GT(disk.totalBytes, 0u);
    EXPECT_LE(disk.freeBytesAvailable, disk.totalBytes);
}

TEST(Reports, TextsByteForByte) {
    EXPECT_EQ(FormatDownloadFailureReport(28.0, L"LibCurl", 35.5, true, 0),
              L"1.code=28；2.msg=LibCurl；3.缓存磁盘容量=35.50G；4.缓存读写权限=可读；5.服务器连接状态code=0");
    EXPECT_EQ(FormatDownloadFailureReport(-3.9, L"", 0.0, false, 65536),
              L"1.code=-3；2.msg=；3.缓存磁盘容量=0.00G；4.缓存读写权限=无权限；5.服务器连接状态code=65536");
    EXPECT_EQ(FormatInstallFailureReport(1000.0, L"磁盘已满"), L":1.code=1000；2.msg=磁盘已满");
    EXPECT_EQ(FormatInstallFailureReport(0.0, L"安装包安装失败"), L":1.code=0；2.msg=安装包安装失败");
    EXPECT_EQ(FormatInstallFailureReport(2.0, L""), L":1.code=2；2.msg=");
    // A long text is kept whole.
    std::wstring longText(300, L'x');
    EXPECT_EQ(FormatInstallFailureReport(1.0, longText), L":1.code=1；2.msg=" + longText);
}

TEST(Reports, WriteTestLeavesNoFile) {
    testing_support::TempDir dir;
    const std::wstring package = dir.File(L"__Package_velqordoc.exe");
    EXPECT_TRUE(IsPackageFolderWritable(package));
    EXPECT_FALSE(Utils::FileExists(package));
    Utils::WriteFileBytes(package, "partial download");
    EXPECT_TRUE(IsPackageFolderWritable(package));
    EXPECT_FALSE(Utils::FileExists(package));
    // A folder that does not exist cannot be written.
    EXPECT_FALSE(IsPackageFolderWritable(dir.File(L"missing\\__Package_velqordoc.exe")));
}

TEST(Reports, DownloadFailureReportGathersFacts) {
    testing_support::TempDir dir;
    FakeDisk disk(static_cast<uint64_t>(35.5 * 1073741824.0));
    std::wstring text = BuildDownloadFailureReport(28.0, L"LibCurl", dir.File(L"__Package_velqordoc.exe"), 0, disk);
    EXPECT_EQ(text, L"1.code=28；2.msg=LibCurl；3.缓存磁盘容量=35.50G；4.缓存读写权限=可读；5.服务器连接状态code=0");
}

}  // namespace
