#include "install/cache_folder.h"

#include "utils/fs.h"

namespace install_detail {

std::wstring UninstallerCacheDir() {
    std::wstring temp = Utils::GetSpecialFolder(Utils::SpecialFolder::Temp);
    if (temp.empty()) return {};
    std::wstring dir = Utils::JoinPath(temp, L"~ZelMoxTemp.92482B06FB471E17");
    if (!Utils::DirectoryExists(dir) && !Utils::MakeDirectory(dir)) return {};
    return dir + Utils::PathSeparator();
}

bool MakeFolders(const std::wstring& path) {
    if (path.empty() || path.size() > 260) return false;
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != L'\\' && path[i] != L'/') continue;
        std::wstring prefix = path.substr(0, i);
        if (prefix.empty() || (prefix.size() == 2 && prefix[1] == L':')) continue;
        if (!Utils::DirectoryExists(prefix) && !Utils::MakeDirectory(prefix)) return false;
    }
    return Utils::DirectoryExists(path) || Utils::MakeDirectory(path);
}

}  // namespace install_detail
