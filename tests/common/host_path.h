#pragma once
// A path of the machine that runs the tests (compiled in, or handed over by
// the test runner) as this platform names it: a Windows build running under
// Wine sees the Unix root as drive Z:.
#include <string>

#include "utils/text.h"

namespace testing_support {

inline std::wstring HostPath(std::wstring path) {
#ifdef _WIN32
    if (!path.empty() && path[0] == L'/') {
        Utils::ReplaceAll(path, L"/", L"\\");
        path = L"Z:" + path;
    }
#endif
    return path;
}

inline std::wstring HostPath(const char* utf8) { return HostPath(Utils::Utf8ToWide(utf8)); }

}  // namespace testing_support
