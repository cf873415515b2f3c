#pragma once
// Diagnostic log: one formatted wide line per event on the debugger-output
// channel (OutputDebugStringW on Windows, standard error elsewhere), and also
// in a log file once one is set (SetLogFile). No levels. Every line starts with
//   <P%05d><T%05d><YYYY-MM-DD hh:mm:ss.mmm>(function)<line>:
// followed by the caller's message exactly as formatted (no line end added).
//
// Formats are wide printf formats; use %ls for wide strings and %d/%u/%f/%lld as
// usual (%s is not portable between the Windows and C99 runtimes).
#include <cstdint>
#include <functional>
#include <string>

#include "utils/time.h"

namespace Utils {

// Builds the whole line for the given prefix values. Exposed for tests.
std::wstring FormatLogLine(uint32_t pid, uint32_t tid, const LocalTime& t, const char* function, int line,
                           const wchar_t* format, ...);

// Formats and emits one line; the current process id, thread id and local time
// are taken here. A message that cannot be formatted is replaced by the format
// text itself (nothing is lost, nothing crashes).
void DebugLog(const char* function, int line, const wchar_t* format, ...);

// Strips a compiler's pretty function signature down to "Class::Method"
// ("unsigned int CFoo::Run(void*)" -> "CFoo::Run").
std::string QualifiedFunctionName(const char* prettyFunction);

// From now on every line is also appended to this file as UTF-8, one line each
// (a line end added to messages without one), flushed per line; missing
// folders are created. False, after one diagnostic line saying so, when the
// file cannot be opened: the log then goes on without it. An empty path
// closes the file.
bool SetLogFile(const std::wstring& path);

// Replaces the output channel (tests); an empty function restores the default.
using LogSink = std::function<void(const std::wstring& line)>;
void SetLogSink(LogSink sink);


namespace detail {
// Emits one finished line on the platform's debugger-output channel (the
// platform half of DebugLog; log_win.cpp / log_posix.cpp).
void EmitDebugLine(const std::wstring& line);
}  // namespace detail

}  // namespace Utils

#if defined(_MSC_VER)
#define VELQOR_FUNCTION __FUNCSIG__
#else
#define VELQOR_FUNCTION __PRETTY_FUNCTION__
#endif

// The convenience form every component uses: supplies function name and line.
#define DEBUG_LOG(...) ::Utils::DebugLog(::Utils::QualifiedFunctionName(VELQOR_FUNCTION).c_str(), __LINE__, __VA_ARGS__)
