// Portable half of the child-process runner: the clean-up both platforms share,
// chunk decoding, line splitting and line reassembly.
#include "utils/child_process.h"

#include "utils/text.h"

namespace Utils {

Pipe::~Pipe() {
    CloseWriteEnd();
    CloseReadEnd();
}


std::wstring DecodeChunk(const std::string& bytes, unsigned codePage) {
    size_t n = bytes.find('\0');
    if (n == std::string::npos) n = bytes.size();
    if (n == 0) return {};
    return CodePageToWide(bytes.substr(0, n), codePage);
}

std::wstring DecodeLine(const std::string& bytes, unsigned codePage) {
    if (bytes.empty()) return {};
    std::wstring text = DecodeChunk(bytes, codePage);
    if (!text.empty()) return text;
    if (codePage != 0) {
        text = DecodeChunk(bytes, 0);
        if (!text.empty()) return text;
    }
    for (char c : bytes) {
        if (c == '\0') break;
        auto b = static_cast<unsigned char>(c);
        text += b < 0x80 ? static_cast<wchar_t>(b) : L'\xFFFD';
    }
    return text;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find(L'\n', start);
        if (lf == std::wstring::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, lf - start));
        start = lf + 1;
    }
    return lines;
}

std::vector<std::string> LineAssembler::Feed(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t n = bytes.find('\0');
    if (n == std::string::npos) n = bytes.size();
    size_t start = 0;
    while (start < n) {
        size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos || lf >= n) {
            m_pending.append(bytes, start, n - start);
            break;
        }
        m_pending.append(bytes, start, lf - start);
        lines.push_back(std::move(m_pending));
        m_pending.clear();
        start = lf + 1;
    }
    if (m_pending.size() >= kMaxPending) {
        lines.push_back(std::move(m_pending));
        m_pending.clear();
    }
    return lines;
}

bool LineAssembler::TakeRest(std::string& line) {
    if (m_pending.empty()) return false;
    line = std::move(m_pending);
    m_pending.clear();
    return true;
}

}  // namespace Utils
