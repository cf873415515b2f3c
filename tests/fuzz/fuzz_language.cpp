// Fuzz target: a language file from the skin archive, read into the language
// table. Input: byte 0 picks the language (modulo the table's three), the rest
// is the file.
#include <cstdint>
#include <string>
#include <vector>

#include "utils/log.h"
#include "toolkit/archive.h"
#include "ui/language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (Utils::SetLogSink([](const std::wstring&) {}), true);  // formatted, not printed
    (void)quiet;
    if (size < 1) return 0;
    const int index = data[0] % 3;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    ReadLanguageTexts(bytes, index);
    std::wstring text;
    toolkit::GetLanguageText(L"1", text);
    toolkit::ClearLanguageTexts();
    return 0;
}

std::vector<std::string> FuzzSeeds() { return {}; }
