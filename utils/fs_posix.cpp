#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "utils/fs.h"
#include "utils/text.h"

namespace fs = std::filesystem;

namespace Utils {

std::string NativePath(const std::wstring& path) {
    std::wstring p = path;
    for (auto& c : p)
        if (c == L'\\') c = L'/';
    return WideToUtf8(p);
}

wchar_t PathSeparator() { return L'/'; }

bool GetEnv(const std::wstring& name, std::wstring& value) {
    const char* v = std::getenv(WideToUtf8(name).c_str());
    if (!v) return false;
    value = Utf8ToWide(v);
    return true;
}

bool SetEnv(const std::wstring& name, const std::wstring& value) {
    std::string n = WideToUtf8(name);
    if (value.empty()) return unsetenv(n.c_str()) == 0;
    return setenv(n.c_str(), WideToUtf8(value).c_str(), 1) == 0;
}

std::wstring GetSpecialFolder(SpecialFolder folder) {
    std::wstring home, v;
    GetEnv(L"HOME", home);
    switch (folder) {
        case SpecialFolder::ProgramFiles:
            if (GetEnv(L"VELQOR_PROGRAM_FILES", v)) return v;
            return home.empty() ? L"" : home + L"/.local/opt";
        case SpecialFolder::AppData:
            if (GetEnv(L"XDG_CONFIG_HOME", v) && !v.empty()) return v;
            return home.empty() ? L"" : home + L"/.config";
        case SpecialFolder::LocalAppData:
            if (GetEnv(L"XDG_DATA_HOME", v) && !v.empty()) return v;
            return home.empty() ? L"" : home + L"/.local/share";
        case SpecialFolder::CommonDocuments:
            return L"/tmp";
        case SpecialFolder::Desktop:
            return home.empty() ? L"" : home + L"/Desktop";
        case SpecialFolder::Temp:
            if (GetEnv(L"TMPDIR", v) && !v.empty()) {
                while (v.size() > 1 && v.back() == L'/') v.pop_back();
                return v;
            }
            return L"/tmp";
    }
    return {};
}

std::wstring GetModulePath() {
    std::error_code ec;
    auto p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::wstring() : Utf8ToWide(p.string());
}

bool FileExists(const std::wstring& path) {
    std::error_code ec;
    return fs::is_regular_file(NativePath(path), ec);
}

bool DirectoryExists(const std::wstring& path) {
    std::error_code ec;
    return fs::is_directory(NativePath(path), ec);
}

bool PathExists(const std::wstring& path) {
    std::error_code ec;
    return fs::exists(NativePath(path), ec);
}

bool MakeDirectory(const std::wstring& path) {
    std::error_code ec;
    fs::create_directory(NativePath(path), ec);
    return DirectoryExists(path);
}

bool RemoveFile(const std::wstring& path) {
    std::error_code ec;
    if (!FileExists(path)) return !PathExists(path);
    return fs::remove(NativePath(path), ec) && !ec;
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to, bool overwrite) {
    std::error_code ec;
    auto opt = overwrite ? fs::copy_options::overwrite_existing : fs::copy_options::none;
    return fs::copy_file(NativePath(from), NativePath(to), opt, ec) && !ec;
}

bool MoveFileTo(const std::wstring& from, const std::wstring& to) {
    std::error_code ec;
    fs::rename(NativePath(from), NativePath(to), ec);
    return !ec;
}

bool RemoveEmptyDirectory(const std::wstring& path) {
    std::error_code ec;
    return DirectoryExists(path) && fs::remove(NativePath(path), ec) && !ec;
}

int64_t GetFileSize(const std::wstring& path) {
    std::error_code ec;
    auto n = fs::file_size(NativePath(path), ec);
    return ec ? -1 : static_cast<int64_t>(n);
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    std::ifstream in(NativePath(path), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(NativePath(path), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

bool AppendFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(NativePath(path), std::ios::binary | std::ios::app);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

std::wstring ShortPathOf(const std::wstring& path) { return path; }

std::FILE* OpenFile(const std::wstring& path, const char* mode) { return std::fopen(NativePath(path).c_str(), mode); }

bool AppendFile::Open(const std::wstring& path) {
    Close();
    int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    m_handle = fd;
    return true;
}

void AppendFile::Close() {
    intptr_t fd = m_handle.exchange(-1);
    if (fd != -1) ::close(static_cast<int>(fd));
}

bool AppendFile::Append(const char* data, size_t size) const {
    intptr_t fd = m_handle.load();
    if (fd == -1) return false;
    for (;;) {
        ssize_t n = ::write(static_cast<int>(fd), data, size);
        if (n < 0 && errno == EINTR) continue;
        return n == static_cast<ssize_t>(size);
    }
}

}  // namespace Utils
