#include "utils/proxy.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace Utils {

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// Glob with '*' only.
bool Matches(const char* pattern, const char* text) {
    if (!*pattern) return !*text;
    if (*pattern == '*') {
        for (const char* t = text;; ++t) {
            if (Matches(pattern + 1, t)) return true;
            if (!*t) return false;
        }
    }
    return *text && *pattern == *text && Matches(pattern + 1, text + 1);
}

}  // namespace

UrlParts SplitUrl(const std::string& url) {
    UrlParts parts;
    std::string rest = url;
    size_t scheme = url.find("://");
    if (scheme != std::string::npos) {
        parts.scheme = Lower(url.substr(0, scheme));
        rest = url.substr(scheme + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    size_t at = rest.rfind('@');
    if (at != std::string::npos) rest = rest.substr(at + 1);
    if (!rest.empty() && rest[0] == '[') {
        size_t close = rest.find(']');
        parts.host = Lower(rest.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else {
        parts.host = Lower(rest.substr(0, rest.find(':')));
    }
    return parts;
}

bool HostBypassed(const std::string& host, const std::string& list, const char* separators, bool allowWildcards) {
    const std::string h = Lower(host);
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find_first_of(separators, pos);
        if (end == std::string::npos) end = list.size();
        std::string entry = Lower(Trim(list.substr(pos, end - pos)));
        pos = end + 1;
        if (entry.empty()) continue;
        if (entry == "*") return true;
        if (allowWildcards) {
            if (entry == "<local>") {
                if (h.find('.') == std::string::npos && h.find(':') == std::string::npos) return true;
                continue;
            }
            // The bypass list may name a scheme ("http://host"); the host matters.
            size_t scheme = entry.find("://");
            if (scheme != std::string::npos) entry = entry.substr(scheme + 3);
            if (entry.find('*') != std::string::npos) {
                if (Matches(entry.c_str(), h.c_str())) return true;
                continue;
            }
        }
        if (entry[0] == '.') entry = entry.substr(1);
        if (h == entry) return true;
        if (h.size() > entry.size() && h.compare(h.size() - entry.size(), entry.size(), entry) == 0 &&
            h[h.size() - entry.size() - 1] == '.')
            return true;
    }
    return false;
}

}  // namespace Utils
