#include "install/output_reader.h"

#include <vector>

namespace install_detail {

namespace {

// Parses lines in order; returns the last non-zero verdict among them.
int ParseLines(const std::vector<std::string>& lines, const CodePageFn& codePage, const ParseFn& parse) {
    int verdict = 0;
    for (const std::string& raw : lines) {
        int v = parse(Utils::DecodeLine(raw, codePage()));
        if (v != 0) verdict = v;
    }
    return verdict;
}

int ReadPass(const ReadChunkFn& read, Utils::LineAssembler& assembler, const CodePageFn& codePage,
             const ParseFn& parse, bool& ended) {
    std::string bytes;
    bool ok = read(bytes);
    ended = !ok && bytes.empty();
    std::vector<std::string> lines;
    if (!bytes.empty()) lines = assembler.Feed(bytes);
    if (ended) {
        std::string rest;
        if (assembler.TakeRest(rest)) lines.push_back(std::move(rest));
    }
    return ParseLines(lines, codePage, parse);
}

}  // namespace

bool ReadUntilVerdict(Utils::ChildProcess& child, const CodePageFn& codePage, const ParseFn& parse) {
    return ReadUntilVerdict([&child](std::string& bytes) { return child.ReadChunk(bytes); }, codePage, parse);
}

bool ReadUntilVerdict(const ReadChunkFn& read, const CodePageFn& codePage, const ParseFn& parse) {
    Utils::LineAssembler assembler;
    for (;;) {
        bool ended = false;
        if (ReadPass(read, assembler, codePage, parse, ended) != 0) return false;
        if (ended) return true;
    }
}

bool ReadAll(Utils::ChildProcess& child, const CodePageFn& codePage, const ParseFn& parse) {
    return ReadAll([&child](std::string& bytes) { return child.ReadChunk(bytes); }, codePage, parse);
}

bool ReadAll(const ReadChunkFn& read, const CodePageFn& codePage, const ParseFn& parse) {
    Utils::LineAssembler assembler;
    bool ok = true;
    for (;;) {
        bool ended = false;
        if (ReadPass(read, assembler, codePage, parse, ended) != 0) ok = false;
        if (ended) return ok;
    }
}

}  // namespace install_detail
