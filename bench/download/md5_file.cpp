// velqor-md5 FILE: prints Utils::GetFileMd5 of FILE (the download benchmark
// times it against md5sum).
#include <cstdio>

#include "utils/md5.h"
#include "utils/text.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velqor-md5 FILE\n");
        return 2;
    }
    std::string md5 = Utils::GetFileMd5(Utils::Utf8ToWide(argv[1]));
    if (md5.empty()) {
        std::fprintf(stderr, "velqor-md5: cannot read %s\n", argv[1]);
        return 1;
    }
    std::printf("%s  %s\n", md5.c_str(), argv[1]);
    return 0;
}
