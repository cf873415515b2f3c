#include "install/output_reader.h"

#include <chrono>
#include <vector>

#include "utils/log.h"

namespace install_detail {

namespace {

using Clock = std::chrono::steady_clock;
constexpr Clock::time_point kNoDeadline = Clock::time_point::max();
// How often a quiet child is checked for having ended.
constexpr uint32_t kExitPollMs = 100;
// What is still read once the child has ended (a grandchild may go on writing).
constexpr size_t kMaxAfterExit = 64 * 1024;

uint32_t MsUntil(Clock::time_point deadline) {
    if (deadline == kNoDeadline) return UINT32_MAX;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : left > UINT32_MAX - 1 ? UINT32_MAX - 1 : static_cast<uint32_t>(left);
}

Clock::time_point After(uint32_t ms) { return Clock::now() + std::chrono::milliseconds(ms); }

enum class Stop { Ended, Taken, Deadline };

// Reads chunks and hands each to take (which returns false to stop) until the
// output ends, the child has been seen to end and what it left is read, or the
// deadline (which take may move) passes.
template <class Take>
Stop Pump(Utils::ChildProcess& child, const Clock::time_point& deadline, Take&& take) {
    bool exited = false;
    size_t afterExit = 0;
    for (;;) {
        uint32_t left = MsUntil(deadline);
        if (left == 0) return Stop::Deadline;
        std::string bytes;
        auto r = child.ReadChunkFor(bytes, exited ? 0 : (left < kExitPollMs ? left : kExitPollMs));
        if (r == Utils::ChildProcess::Read::Ended) return Stop::Ended;
        if (r == Utils::ChildProcess::Read::Data) {
            if (!bytes.empty() && !take(bytes)) return Stop::Taken;
            if (exited && (afterExit += bytes.size()) >= kMaxAfterExit) return Stop::Ended;
            continue;
        }
        if (exited) return Stop::Ended;  // gone, and nothing more is there now
        exited = !child.IsRunning();
    }
}

// The protocol side of both disciplines, whatever the source of the bytes:
// reads are reassembled into lines, and each line is decoded and parsed.
class LineParser {
public:
    LineParser(const CodePageFn& codePage, const ParseFn& parse) : m_codePage(codePage), m_parse(parse) {}

    // Parses the lines completed by bytes; true when one of them gave a verdict.
    bool Feed(const std::string& bytes) { return Parse(bytes.empty() ? Lines{} : m_assembler.Feed(bytes)); }
    // The output has ended: text after the last line feed is a final line.
    bool End() {
        Lines lines;
        std::string rest;
        if (m_assembler.TakeRest(rest)) lines.push_back(std::move(rest));
        return Parse(lines);
    }

private:
    using Lines = std::vector<std::string>;
    bool Parse(const Lines& lines) {
        bool verdict = false;
        for (const std::string& raw : lines)
            if (m_parse(Utils::DecodeLine(raw, m_codePage())) != 0) verdict = true;
        return verdict;
    }

    Utils::LineAssembler m_assembler;
    const CodePageFn& m_codePage;
    const ParseFn& m_parse;
};

// After a verdict: the child gets until the deadline to end; its output is
// read and dropped meanwhile.
void AwaitExitAfterVerdict(Utils::ChildProcess& child, Clock::time_point deadline) {
    Pump(child, deadline, [](const std::string&) { return true; });
    if (!child.WaitForExitFor(MsUntil(deadline)))
        DEBUG_LOG(L"child %u still runs after its verdict; no longer waited for\r\n", child.ProcessId());
}

}  // namespace

bool ReadUntilVerdict(Utils::ChildProcess& child, const CodePageFn& codePage, const ParseFn& parse,
                      uint32_t exitWaitMs) {
    LineParser parser(codePage, parse);
    bool verdict = false;
    Pump(child, kNoDeadline, [&](const std::string& bytes) { return !(verdict = parser.Feed(bytes)); });
    if (!verdict) verdict = parser.End();
    if (!verdict) {
        child.WaitForExit();
        return true;
    }
    AwaitExitAfterVerdict(child, After(exitWaitMs));
    return false;
}

bool ReadAll(Utils::ChildProcess& child, const CodePageFn& codePage, const ParseFn& parse, uint32_t exitWaitMs) {
    LineParser parser(codePage, parse);
    bool verdict = false;
    Clock::time_point deadline = kNoDeadline;
    auto note = [&](bool v) {
        if (!v) return;
        if (!verdict) deadline = After(exitWaitMs);
        verdict = true;
    };
    Pump(child, deadline, [&](const std::string& bytes) {
        note(parser.Feed(bytes));
        return true;
    });
    note(parser.End());
    if (!verdict) {
        child.WaitForExit();
        return true;
    }
    AwaitExitAfterVerdict(child, deadline);
    return false;
}

bool ReadUntilVerdict(const ReadChunkFn& read, const CodePageFn& codePage, const ParseFn& parse) {
    LineParser parser(codePage, parse);
    for (std::string bytes; read(bytes) || !bytes.empty(); bytes.clear())
        if (parser.Feed(bytes)) return false;
    return !parser.End();
}

bool ReadAll(const ReadChunkFn& read, const CodePageFn& codePage, const ParseFn& parse) {
    LineParser parser(codePage, parse);
    bool verdict = false;
    for (std::string bytes; read(bytes) || !bytes.empty(); bytes.clear())
        verdict = parser.Feed(bytes) || verdict;
    verdict = parser.End() || verdict;
    return !verdict;
}

}  // namespace install_detail
