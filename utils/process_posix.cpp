#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "utils/process.h"
#include "utils/text.h"

namespace Utils {

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

std::vector<ProcessEntry> EnumerateProcesses() {
    std::vector<ProcessEntry> out;
    DIR* d = opendir("/proc");
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
        std::error_code ec;
        auto exe = std::filesystem::read_symlink("/proc/" + name + "/exe", ec);
        std::string file;
        if (!ec) {
            file = exe.filename().string();
        } else {
            std::ifstream comm("/proc/" + name + "/comm");
            std::getline(comm, file);
        }
        if (file.empty()) continue;
        out.push_back({static_cast<uint32_t>(std::stoul(name)), Utf8ToWide(file)});
    }
    closedir(d);
    return out;
}

}  // namespace Utils
