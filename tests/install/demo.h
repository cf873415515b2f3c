#pragma once
// Where the demo package is, and how tests steer it.
#include <string>

#include "tests/common/host_path.h"
#include "utils/child_process.h"
#include "utils/fs.h"
#include "utils/text.h"

namespace install_test {

// The demo package as this platform names programs (a Windows build running
// under Wine sees the build tree through drive Z:).
inline std::wstring DemoPackagePath() { return testing_support::HostPath(VELQOR_DEMO_PACKAGE); }

// Sets the demo's behaviour and record file for the lifetime of the object.
class DemoMode {
public:
    explicit DemoMode(const std::wstring& mode, const std::wstring& record = L"") {
        Utils::SetEnv(L"VELQOR_DEMO_MODE", mode);
        Utils::SetEnv(L"VELQOR_DEMO_RECORD", record);
    }
    ~DemoMode() {
        Utils::SetEnv(L"VELQOR_DEMO_MODE", L"");
        Utils::SetEnv(L"VELQOR_DEMO_RECORD", L"");
    }
};

// The lines of a file written by the demo (UTF-8, "\n" separated).
inline std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::string bytes;
    std::vector<std::wstring> lines;
    if (!Utils::ReadFileBytes(path, bytes)) return lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos) lf = bytes.size();
        lines.push_back(Utils::Utf8ToWide(bytes.substr(start, lf - start)));
        start = lf + 1;
    }
    return lines;
}

}  // namespace install_test
