#include "utils/fs.h"

namespace Utils {

namespace {
bool IsSep(wchar_t c) { return c == L'\\' || c == L'/'; }

// The separators a path may use on this platform.
bool IsPlatformSeparator(wchar_t c) {
#ifdef _WIN32
    return c == L'\\';
#else
    return IsSep(c);
#endif
}
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

std::wstring GetTempCacheDir() {
    std::wstring temp = GetSpecialFolder(SpecialFolder::Temp);
    if (temp.empty()) return {};
    if (!IsPlatformSeparator(temp.back())) temp.push_back(PathSeparator());
    std::wstring dir = temp + L"~ZelMoxTemp.92482B06FB471E17" + PathSeparator();
    if (DirectoryExists(dir)) return dir;
    return MakeDirectory(dir) ? dir : std::wstring();
}

bool CreateDirectories(const std::wstring& path) {
    if (path.size() > 260) return false;
    size_t lastSep = std::wstring::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (!IsPlatformSeparator(path[i])) continue;
        lastSep = i;
        std::wstring prefix = path.substr(0, i + 1);
        if (!DirectoryExists(prefix) && !MakeDirectory(prefix)) return false;
    }
    bool tail = lastSep == std::wstring::npos ? !path.empty() : lastSep + 1 < path.size();
    if (tail && !PathExists(path) && !MakeDirectory(path)) return false;
    return true;
}

bool WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
    const std::wstring temp = path + L".tmp";
    if (!WriteFileBytes(temp, bytes)) {
        RemoveFile(temp);
        return false;
    }
    if (MoveFileTo(temp, path)) return true;
    RemoveFile(temp);
    return false;
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
std::string AnsiPathOf(const std::wstring& path) {
    std::string ansi = WideToAnsi(path);
    if (AnsiToWide(ansi) == path) return ansi;
    std::wstring shortPath = ShortPathOf(path);
    ansi = WideToAnsi(shortPath);
    if (AnsiToWide(ansi) == shortPath) return ansi;
    return {};
}

}  // namespace Utils
