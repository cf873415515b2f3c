#include <sys/stat.h>
#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "utils/fs.h"
#include "utils/private_folder.h"
#include "utils/text.h"

namespace Utils {

PrivateFolder::PrivateFolder() {
    std::wstring base;
    if (!GetEnv(L"TMPDIR", base) || base.empty()) base = L"/tmp";
    // mkdtemp makes the folder with mode 0700 and a name nobody had.
    std::string pattern = NativePath(JoinPath(base, L"vq-XXXXXXXXXXXXXXXX"));
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) {
        m_error = Utf8ToWide(std::strerror(errno));
        return;
    }
    struct stat st {};
    if (::lstat(buffer.data(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        m_error = L"not a plain folder";
        return;
    }
    m_path = Utf8ToWide(buffer.data());
}

PrivateFolder::~PrivateFolder() {
    if (m_path.empty()) return;
    std::string dir = NativePath(m_path);
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* entry = ::readdir(d)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") ::unlink((dir + "/" + name).c_str());
        }
        ::closedir(d);
    }
    ::rmdir(dir.c_str());
}

}  // namespace Utils
