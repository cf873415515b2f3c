#include "utils/log.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <vector>

#include "utils/fs.h"
#include "utils/process.h"
#include "utils/text.h"
#include "utils/thread.h"

namespace Utils {
namespace {

constexpr wchar_t kPrefixFormat[] = L"<P%05u><T%05u><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%ls)<%04d>: ";

// vswprintf into a buffer that grows until the text fits. Returns false when
// the format itself is unusable.
bool FormatInto(std::wstring& out, const wchar_t* format, va_list args) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) {
            out.append(buffer.data(), static_cast<size_t>(n));
            return true;
        }
        if (buffer.size() >= (1u << 22)) return false;  // 4M characters: give up
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring Prefix(uint32_t pid, uint32_t tid, const LocalTime& t, const char* function, int line) {
    std::wstring fn = Utf8ToWide(function ? function : "");
    wchar_t buf[512];
    std::swprintf(buf, 512, kPrefixFormat, pid, tid, t.year, t.month, t.day, t.hour, t.minute, t.second,
                  t.milliseconds, fn.c_str(), line);
    std::wstring out = buf;
    if (out.empty()) out = L"(" + fn + L"): ";  // function name too long for the fixed buffer
    return out;
}

std::wstring FormatUserMessage(const wchar_t* format, va_list args) {
    std::wstring message;
    if (!format) return message;
    if (!FormatInto(message, format, args)) message = format;  // unformattable: keep the raw text
    return message;
}

std::mutex g_sinkMutex;
LogSink g_sink;

// The log file: one open stream, written under its own lock so that lines of
// different threads never mix.
std::mutex g_fileMutex;
std::FILE* g_file = nullptr;

std::FILE* OpenForAppend(const std::wstring& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"ab");
#else
    return std::fopen(NativePath(path).c_str(), "ab");
#endif
}

// Every missing folder above the file.
void CreateParentFolders(const std::wstring& path) {
    std::wstring parent = ParentPath(path);
    if (parent.empty() || parent == path || DirectoryExists(parent)) return;
    CreateParentFolders(parent);
    MakeDirectory(parent);
}

void WriteToFile(const std::wstring& line) {
    std::lock_guard<std::mutex> lock(g_fileMutex);
    if (!g_file) return;
    std::string bytes = WideToUtf8(line);
    if (bytes.empty() || bytes.back() != '\n') bytes += "\r\n";
    std::fwrite(bytes.data(), 1, bytes.size(), g_file);
    std::fflush(g_file);
}

}  // namespace

std::wstring FormatLogLine(uint32_t pid, uint32_t tid, const LocalTime& t, const char* function, int line,
                           const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring out = Prefix(pid, tid, t, function, line) + FormatUserMessage(format, args);
    va_end(args);
    return out;
}

void DebugLog(const char* function, int line, const wchar_t* format, ...) {
    LocalTime now = GetLocalTime();
    va_list args;
    va_start(args, format);
    std::wstring out =
        Prefix(CurrentProcessId(), CurrentThreadId(), now, function, line) + FormatUserMessage(format, args);
    va_end(args);
    WriteToFile(out);
    {
        std::lock_guard<std::mutex> lock(g_sinkMutex);
        if (g_sink) {
            g_sink(out);
            return;
        }
    }
    detail::EmitDebugLine(out);
}

bool SetLogFile(const std::wstring& path) {
    std::FILE* file = nullptr;
    if (!path.empty()) {
        CreateParentFolders(path);
        file = OpenForAppend(path);
    }
    {
        std::lock_guard<std::mutex> lock(g_fileMutex);
        if (g_file) std::fclose(g_file);
        g_file = file;
    }
    if (!path.empty() && !file) {
        DEBUG_LOG(L"log file %ls cannot be opened, going on without it\r\n", path.c_str());
        return false;
    }
    return true;
}

void SetLogSink(LogSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = std::move(sink);
}

std::string QualifiedFunctionName(const char* pretty) {
    if (!pretty) return {};
    std::string s = pretty;
    // Cut the parameter list: the '(' that closes the name at nesting depth 0,
    // ignoring "operator()" and template arguments.
    int angle = 0;
    size_t end = std::string::npos;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '<') ++angle;
        else if (c == '>' && angle > 0) --angle;
        else if (c == '(' && angle == 0) {
            if (i >= 8 && s.compare(i - 8, 8, "operator") == 0 && i + 1 < s.size() && s[i + 1] == ')') {
                ++i;  // skip "operator()"'s own parentheses
                continue;
            }
            // A lambda inside a function ("Foo(int)::<lambda()>") keeps its parent's parameters.
            size_t close = s.find(')', i);
            if (close != std::string::npos && s.compare(close + 1, 2, "::") == 0) {
                i = close;
                continue;
            }
            end = i;
            break;
        }
    }
    std::string head = s.substr(0, end);
    // Drop the return type: the last blank outside template brackets.
    angle = 0;
    size_t start = 0;
    for (size_t i = 0; i < head.size(); ++i) {
        char c = head[i];
        if (c == '<') ++angle;
        else if (c == '>' && angle > 0) --angle;
        else if (c == ' ' && angle == 0) start = i + 1;
    }
    std::string name = head.substr(start);
    while (!name.empty() && (name[0] == '*' || name[0] == '&')) name.erase(0, 1);
    return name.empty() ? s : name;
}

}  // namespace Utils
