#include "utils/fs.h"

namespace Utils {

namespace {
bool IsSep(wchar_t c) { return c == L'\\' || c == L'/'; }
}  // namespace

std::wstring ParentPath(const std::wstring& path) {
    size_t pos = path.find_last_of(L"\\/");
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos);
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t pos = path.find_last_of(L"\\/");
    return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

std::wstring JoinPath(const std::wstring& a, const std::wstring& b) {
    if (a.empty()) return b;
    if (IsSep(a.back())) return a + b;
    return a + PathSeparator() + b;
}

}  // namespace Utils

#include "utils/text.h"

namespace Utils {
std::string NativePathUtf8(const std::wstring& path) {
    std::wstring p = path;
    if (PathSeparator() == L'/')
        for (auto& c : p)
            if (c == L'\\') c = L'/';
    return WideToUtf8(p);
}
}  // namespace Utils
