#pragma once
// Reading a child's standard output as protocol lines. Reads are reassembled
// into whole lines before decoding; each line is decoded with the code page in
// force when it is reached (so an "Encode=" line applies to the lines after
// it), and text after the last line feed counts as a final line once the
// output ends.
#include <functional>
#include <string>

#include "utils/child_process.h"

namespace install_detail {

using CodePageFn = std::function<unsigned()>;
using ParseFn = std::function<int(const std::wstring& line)>;
// One read of the output: stores what arrived in bytes; false with no bytes
// once the output has ended (as Utils::ChildProcess::ReadChunk).
using ReadChunkFn = std::function<bool(std::string& bytes)>;

// The package discipline: reads until a line gives a verdict or the output
// ends. Returns true when the output ended without a verdict; nothing after
// the read that held the verdict is read.
bool ReadUntilVerdict(Utils::ChildProcess& child, const CodePageFn& codePage, const ParseFn& parse);
bool ReadUntilVerdict(const ReadChunkFn& read, const CodePageFn& codePage, const ParseFn& parse);

// The uninstaller discipline: reads and parses everything up to the end of the
// output, also what the child wrote just before it exited. Returns true when no
// line gave a verdict.
bool ReadAll(Utils::ChildProcess& child, const CodePageFn& codePage, const ParseFn& parse);
bool ReadAll(const ReadChunkFn& read, const CodePageFn& codePage, const ParseFn& parse);

}  // namespace install_detail
