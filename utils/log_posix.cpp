// POSIX side of the diagnostic log: lines go to standard error.
#include <cstdio>

#include "utils/log.h"
#include "utils/text.h"

namespace Utils {

namespace detail {
void EmitDebugLine(const std::wstring& line) {
    std::string text = WideToUtf8(line);
    fwrite(text.data(), 1, text.size(), stderr);  // one write per line, as formatted
}
}  // namespace detail

}  // namespace Utils
