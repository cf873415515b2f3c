// Fuzz target: the analytics staging file as the next run finds it (torn,
// huge, garbage or hostile), read back by the record queue and written again.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analytics/zm_transport.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

const std::string& StagingPath() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("velqor-fuzz-staging-" + std::to_string(::getpid()) + ".log"))
            .string();
    return path;
}

// Every record kept is one whole JSON object line.
void CheckRecord(const std::string& record) {
    Check(record.size() >= 2 && record.front() == '{' && record.back() == '}');
    Check(record.find('\n') == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = StagingPath();
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> kept;
    {
        // No server: the queue only reads the file back and stages what it kept.
        zm_analytics::RecordQueue queue("", path);
        queue.Close();
        kept = queue.Snapshot();
    }
    Check(kept.size() <= zm_analytics::RecordQueue::kMaxRecords);
    for (const auto& record : kept) CheckRecord(record);

    // What was staged again reads back as the same records.
    std::ifstream in(path, std::ios::binary);
    const std::string staged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string expected;
    for (const auto& record : kept) expected += record + '\n';
    Check(staged == expected);
    std::remove(path.c_str());
    return 0;
}

std::vector<std::string> FuzzSeeds() { return {}; }
