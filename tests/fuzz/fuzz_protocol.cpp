// Fuzz target: what a package or an uninstaller writes to its standard output,
// through the runners' own reading disciplines (reads reassembled into lines,
// each line decoded in the code page in force) and their own parsers.
//
// Input: byte 0 picks the runner (bit 0: uninstaller), the discipline (bit 1:
// read everything instead of stopping at a verdict) and the code page in force
// at the start (bits 2-4); byte 1 seeds the lengths of the reads the rest is
// cut into (0: reads of a full pipe chunk, as a busy child gives them).
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "utils/log.h"
#include "install/installer.h"
#include "install/output_reader.h"
#include "install/protocol.h"
#include "install/uninstaller.h"
#include "utils/child_process.h"

namespace {

constexpr unsigned kCodePages[] = {0, 65001, 936, 950, 1252, 932, 1251, 437};

// Gives a test the code page the runner starts a run with.
template <class Runner>
struct Probe : Runner {
    using Runner::Runner;
    void StartWith(unsigned codePage) { this->m_codePage = codePage; }
};

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void Notified(int, double value, const wchar_t* text) {
    Check(std::isfinite(value));
    Check(text != nullptr);
    Check(std::wstring(text).size() <= install_detail::kMaxTextValue);
}

template <class Runner>
void Drive(Runner& runner, bool readAll, unsigned cutSeed, const std::string& output) {
    size_t pos = 0;
    uint32_t state = cutSeed;
    bool verdictSeen = false;
    bool endedSeen = false;
    auto read = [&](std::string& bytes) {
        // Neither discipline reads on after a verdict (the package's) or after the end.
        Check(!endedSeen);
        Check(readAll || !verdictSeen);
        bytes.clear();
        if (pos == output.size()) {
            endedSeen = true;
            return false;
        }
        size_t n = Utils::ChildProcess::kChunkSize;
        if (cutSeed != 0) {
            state = state * 1103515245u + 12345u;
            n = 1 + (state >> 16) % 96;
        }
        if (n > output.size() - pos) n = output.size() - pos;
        bytes.assign(output, pos, n);
        pos += n;
        return true;
    };
    auto codePage = [&runner] { return runner.CodePage(); };
    auto parse = [&](const std::wstring& line) {
        int verdict = runner.Parse(line);
        if (verdict != kVerdictNone) verdictSeen = true;
        return verdict;
    };
    bool noVerdict = readAll ? install_detail::ReadAll(read, codePage, parse)
                             : install_detail::ReadUntilVerdict(read, codePage, parse);
    Check(noVerdict == !verdictSeen);
    // Everything is read unless a verdict ended the package's output early.
    if (readAll || noVerdict) Check(endedSeen && pos == output.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (Utils::SetLogSink([](const std::wstring&) {}), true);  // formatted, not printed
    (void)quiet;
    if (size < 2) return 0;
    const unsigned flags = data[0];
    const unsigned cutSeed = data[1];
    const std::string output(reinterpret_cast<const char*>(data) + 2, size - 2);
    const bool readAll = (flags & 2) != 0;
    const unsigned codePage = kCodePages[(flags >> 2) & 7];
    if (flags & 1) {
        Probe<CUnInstaller> runner(&Notified, L"uninst.exe", L"old");
        runner.StartWith(codePage);
        Drive(runner, readAll, cutSeed, output);
    } else {
        Probe<CInstaller> runner(&Notified, L"\"package.exe\"");
        runner.StartWith(codePage);
        Drive(runner, readAll, cutSeed, output);
    }
    return 0;
}

std::vector<std::string> FuzzSeeds() { return {}; }
