// Fuzz target: the skin archive reader: a 7z archive's bytes opened, listed,
// and every file in it read.
#include <cstdint>
#include <string>
#include <vector>

#include "utils/log.h"
#include "toolkit/archive.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// Larger files are not read here (the reader refuses them by its own limit).
constexpr uint64_t kMaxRead = 16u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (Utils::SetLogSink([](const std::wstring&) {}), true);  // formatted, not printed
    (void)quiet;
    std::wstring error;
    auto archive = toolkit::SkinArchive::Open(std::string(reinterpret_cast<const char*>(data), size), &error);
    if (!archive) {
        Check(!error.empty());
        return 0;
    }
    for (const std::wstring& name : archive->Names()) {
        const int64_t fileSize = archive->FileSize(name);
        Check(fileSize >= 0);
        std::string bytes;
        if (archive->ReadFile(name, bytes, kMaxRead)) Check(static_cast<int64_t>(bytes.size()) == fileSize);
    }
    std::string bytes;
    Check(!archive->ReadFile(L"no such file", bytes));
    return 0;
}

std::vector<std::string> FuzzSeeds() { return {}; }
