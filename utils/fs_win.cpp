#include <windows.h>
#include <shlobj.h>

#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "utils/fs.h"
#include "utils/text.h"

namespace Utils {

std::string NativePath(const std::wstring& path) { return WideToAnsi(path); }
wchar_t PathSeparator() { return L'\\'; }

bool GetEnv(const std::wstring& name, std::wstring& value) {
    DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (n == 0) return false;
    std::vector<wchar_t> buf(n + 1, L'\0');
    DWORD got = GetEnvironmentVariableW(name.c_str(), buf.data(), n + 1);
    if (got == 0 || got > n) return false;
    value.assign(buf.data(), got);
    return true;
}

bool SetEnv(const std::wstring& name, const std::wstring& value) {
    // Both the Win32 block and the C runtime's copy, so getenv and GetEnvironmentVariable agree.
    BOOL ok = SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    _wputenv_s(name.c_str(), value.c_str());
    return ok != FALSE;
}

std::wstring GetSpecialFolder(SpecialFolder folder) {
    int csidl = 0;
    switch (folder) {
        case SpecialFolder::ProgramFiles: csidl = CSIDL_PROGRAM_FILES; break;
        case SpecialFolder::AppData: csidl = CSIDL_APPDATA; break;
        case SpecialFolder::LocalAppData: csidl = CSIDL_LOCAL_APPDATA; break;
        case SpecialFolder::CommonDocuments: csidl = CSIDL_COMMON_DOCUMENTS; break;
        case SpecialFolder::Desktop: csidl = CSIDL_DESKTOPDIRECTORY; break;
        case SpecialFolder::Temp: {
            wchar_t buf[MAX_PATH + 1] = {};
            DWORD n = GetTempPathW(MAX_PATH + 1, buf);
            std::wstring p(buf, n);
            while (p.size() > 3 && (p.back() == L'\\' || p.back() == L'/')) p.pop_back();
            return p;
        }
    }
    wchar_t buf[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
    return buf;
}

std::wstring GetModulePath() {
    wchar_t buf[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return std::wstring(buf, n);
}

bool FileExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MakeDirectory(const std::wstring& path) {
    return CreateDirectoryW(path.c_str(), nullptr) || DirectoryExists(path);
}

bool RemoveFile(const std::wstring& path) { return DeleteFileW(path.c_str()) || !PathExists(path); }

bool CopyFileTo(const std::wstring& from, const std::wstring& to, bool overwrite) {
    return CopyFileW(from.c_str(), to.c_str(), overwrite ? FALSE : TRUE) != FALSE;
}

bool MoveFileTo(const std::wstring& from, const std::wstring& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool RemoveEmptyDirectory(const std::wstring& path) { return RemoveDirectoryW(path.c_str()) != FALSE; }

int64_t GetFileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

namespace {
struct FileHandle {
    HANDLE h;
    explicit FileHandle(HANDLE handle) : h(handle) {}
    ~FileHandle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
};

bool WriteAll(HANDLE h, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) return false;
        done += wrote;
    }
    return true;
}
}  // namespace

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    FileHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (f.h == INVALID_HANDLE_VALUE) return false;
    bytes.clear();
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f.h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    return true;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    FileHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return f.h != INVALID_HANDLE_VALUE && WriteAll(f.h, bytes);
}

std::FILE* OpenFile(const std::wstring& path, const char* mode) {
    std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
}

bool AppendFile::Open(const std::wstring& path) {
    Close();
    // Readers and the replacement of the file by a rewrite are not blocked.
    HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    m_handle = reinterpret_cast<intptr_t>(h);
    return true;
}

void AppendFile::Close() {
    intptr_t h = m_handle.exchange(-1);
    if (h != -1) CloseHandle(reinterpret_cast<HANDLE>(h));
}

bool AppendFile::Append(const char* data, size_t size) const {
    intptr_t h = m_handle.load();
    if (h == -1) return false;
    DWORD wrote = 0;
    return WriteFile(reinterpret_cast<HANDLE>(h), data, static_cast<DWORD>(size), &wrote, nullptr) && wrote == size;
}

bool AppendFileBytes(const std::wstring& path, const std::string& bytes) {
    FileHandle f(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return f.h != INVALID_HANDLE_VALUE && WriteAll(f.h, bytes);
}

std::wstring ShortPathOf(const std::wstring& path) {
    DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) return path;
    std::vector<wchar_t> buf(n + 1);
    DWORD got = GetShortPathNameW(path.c_str(), buf.data(), n + 1);
    if (got == 0 || got > n) return path;
    return std::wstring(buf.data(), got);
}

}  // namespace Utils
