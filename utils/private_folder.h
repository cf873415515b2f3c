#pragma once
// A folder of this process's own for files it runs elevated (the previous
// version's uninstaller copy): a new folder with a random name under the temp
// folder ("vq-" and 16 hexadecimal digits), created so that only
// Administrators and SYSTEM may write into it (Windows; mode 0700 on POSIX),
// and refused when what stands there is a reparse point or link. It is made
// fresh every time, so nothing another user prepared beforehand is ever used.
// The destructor deletes the files directly inside it and the folder.
#include <string>

namespace Utils {

class PrivateFolder {
public:
    PrivateFolder();
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    bool Valid() const { return !m_path.empty(); }
    // The folder, without a trailing separator; empty when it could not be made.
    const std::wstring& Path() const { return m_path; }
    // Why it could not be made.
    const std::wstring& Error() const { return m_error; }

private:
    std::wstring m_path;
    std::wstring m_error;
};

}  // namespace Utils
