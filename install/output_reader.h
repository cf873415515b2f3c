#pragma once
// Reading a child's standard output as protocol lines. Reads are reassembled
// into whole lines before decoding; each line is decoded with the code page in
// force when it is reached (so an "Encode=" line applies to the lines after
// it), and text after the last line feed counts as a final line once the
// output ends.
//
// Neither discipline can be held for ever by a child that gave its verdict:
// after the verdict the reader waits at most exitWaitMs for the child to end
// (draining its output meanwhile, so it never blocks on a full pipe), then
// leaves it running. Before a verdict there is no limit, but a child that has
// ended ends the reading even when something it started still holds the pipe.
#include <cstdint>
#include <functional>
#include <string>

#include "utils/child_process.h"

namespace install_detail {

using CodePageFn = std::function<unsigned()>;
using ParseFn = std::function<int(const std::wstring& line)>;
// One read of the output: stores what arrived in bytes; false with no bytes
// once the output has ended (as Utils::ChildProcess::ReadChunk).
using ReadChunkFn = std::function<bool(std::string& bytes)>;

// The longest a run waits for its child after the verdict, by default.
constexpr uint32_t kDefaultExitWaitMs = 30000;

// The package discipline: parses until a line gives a verdict or the output
// ends; nothing after the read that held the verdict is parsed, what follows
// is read and dropped until the child ends or exitWaitMs have passed. Returns
// true when the output ended without a verdict (the child has then exited).
bool ReadUntilVerdict(Utils::ChildProcess& child, const CodePageFn& codePage, const ParseFn& parse,
                      uint32_t exitWaitMs);

// The uninstaller discipline: parses everything until the child ends, also
// what it wrote just before it exited; once a line gave a verdict, for at most
// exitWaitMs more. Returns true when no line gave a verdict.
bool ReadAll(Utils::ChildProcess& child, const CodePageFn& codePage, const ParseFn& parse, uint32_t exitWaitMs);

// The same two disciplines over any source of reads (the parsing, the line
// assembly and the decoding are those of the child versions; a source has no
// exit to wait for): read stores what arrived in bytes and returns false with
// no bytes once the output has ended.
bool ReadUntilVerdict(const ReadChunkFn& read, const CodePageFn& codePage, const ParseFn& parse);
bool ReadAll(const ReadChunkFn& read, const CodePageFn& codePage, const ParseFn& parse);

}  // namespace install_detail
