#pragma once
// Files, folders, special folders and the environment. Paths are wide strings
// with Windows separators; the POSIX implementation accepts "\" and "/" alike.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Utils {

enum class SpecialFolder {
    ProgramFiles,     // CSIDL_PROGRAM_FILES
    AppData,          // CSIDL_APPDATA (roaming)
    LocalAppData,     // CSIDL_LOCAL_APPDATA
    CommonDocuments,  // CSIDL_COMMON_DOCUMENTS (46)
    Desktop,          // CSIDL_DESKTOPDIRECTORY
    Temp,             // GetTempPath, without the trailing separator
};
// Empty when the folder cannot be determined.
std::wstring GetSpecialFolder(SpecialFolder folder);

bool GetEnv(const std::wstring& name, std::wstring& value);
// Sets a variable of this process (an empty value removes it).
bool SetEnv(const std::wstring& name, const std::wstring& value);

// Full path of the running executable (at most 260 characters on Windows).
std::wstring GetModulePath();
// Everything before the last separator ("C:\a\b.exe" -> "C:\a").
std::wstring ParentPath(const std::wstring& path);
// The last component ("C:\a\b.exe" -> "b.exe").
std::wstring FileNameOf(const std::wstring& path);
// a + separator + b (no doubled separator).
std::wstring JoinPath(const std::wstring& a, const std::wstring& b);
wchar_t PathSeparator();

bool FileExists(const std::wstring& path);       // a file (not a folder)
bool DirectoryExists(const std::wstring& path);  // a folder
bool PathExists(const std::wstring& path);
bool MakeDirectory(const std::wstring& path);   // one level; true when it exists afterwards
// The installer's cache folder "<temp>\~ZelMoxTemp.92482B06FB471E17\" (created
// when missing), or "".
std::wstring GetTempCacheDir();
// Creates every missing folder of path; false for paths over 260 characters or
// when a folder cannot be created.
bool CreateDirectories(const std::wstring& path);
bool RemoveFile(const std::wstring& path);        // true when no file is left
bool CopyFileTo(const std::wstring& from, const std::wstring& to, bool overwrite = true);
bool MoveFileTo(const std::wstring& from, const std::wstring& to);  // replaces the target
bool RemoveEmptyDirectory(const std::wstring& path);                   // an empty folder
// -1 when the file cannot be examined.
int64_t GetFileSize(const std::wstring& path);
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool AppendFileBytes(const std::wstring& path, const std::string& bytes);
// Replaces the file's content so that a reader (or a process killed meanwhile)
// sees the old content or the new one, never a mix: the bytes go to
// path + ".tmp" first, which then replaces the file.
bool WriteFileAtomically(const std::wstring& path, const std::string& bytes);
// The C runtime's fopen for a wide path (_wfopen on Windows, so a path with
// characters outside the ANSI code page works); mode as for fopen, e.g. "rb".
std::FILE* OpenFile(const std::wstring& path, const char* mode);

// A file held open for appending whole records. Each Append is one write
// call in append mode, so records of one process do not interleave; Append
// takes no lock and allocates nothing, so a crash handler may call it while
// another thread is stopped anywhere.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile() { Close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    bool Open(const std::wstring& path);  // creates the file when missing
    void Close();
    bool IsOpen() const { return m_handle.load() != -1; }
    bool Append(const char* data, size_t size) const;

private:
    std::atomic<intptr_t> m_handle{-1};
};

// The native narrow form of a path on this platform (POSIX: UTF-8 with "\"
// turned into "/"; Windows: the ANSI code page).
std::string NativePath(const std::wstring& path);
// The same path as UTF-8 (for std::filesystem::u8path on either platform).
std::string NativePathUtf8(const std::wstring& path);


// The short (8.3) form of an existing path; the path itself when there is none.
std::wstring ShortPathOf(const std::wstring& path);

// An existing path for the narrow (ANSI code page) file APIs: the path itself
// when every character has an ANSI form, else its short form when that one
// has; empty when neither has (a narrow API cannot reach the path at all).
std::string AnsiPathOf(const std::wstring& path);

}  // namespace Utils
