#pragma once
// Child programs with redirected standard streams: pipes, a hidden child
// process whose standard input is the null device and whose standard output
// and error are pipes, chunked reads of its standard output (blocking or with a
// time limit), a reader that drains its standard error so that the child never
// blocks on it, and the text helpers that turn output chunks into lines.
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "utils/fs.h"  // SetEnv: children inherit the environment

namespace Utils {

// The one error type of pipe and process creation. It carries no message.
class Exception : public std::exception {
public:
    const char* what() const noexcept override { return ""; }
};

// A platform handle (Windows HANDLE or POSIX file descriptor) as an integer.
using NativeHandle = intptr_t;
constexpr NativeHandle kNullHandle = -1;

// One pipe. Both ends are created inheritable on Windows and close-on-exec on
// POSIX; the launcher decides which end a child gets. On Windows the read end
// is opened for overlapped reads so that a read can wait with a time limit or
// be stopped; the write end is an ordinary handle for the child.
class Pipe {
public:
    Pipe();  // throws Exception
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    NativeHandle WriteEnd() const { return m_writeEnd; }
    NativeHandle ReadEnd() const { return m_readEnd; }
    void CloseWriteEnd();
    void CloseReadEnd();

private:
    NativeHandle m_writeEnd = kNullHandle;
    NativeHandle m_readEnd = kNullHandle;
};

class ChildProcess {
public:
    static constexpr size_t kMaxCommandLine = 1023;  // characters, without the terminator
    static constexpr size_t kChunkSize = 1024;        // bytes per read

    ChildProcess();
    ~ChildProcess();  // closes whatever is still open; does not wait for the child
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the program named by the first token of commandLine, hidden, with
    // the parent's environment, in workingDir (empty: the parent's current
    // folder). Throws Exception when the pipes or the process cannot be
    // created, and when the command line is longer than kMaxCommandLine
    // characters (it is never cut and run).
    void Launch(const std::wstring& commandLine, const std::wstring& workingDir = {});

    // One blocking read of at most kChunkSize bytes from the child's standard
    // output. Returns whether the read call succeeded; false with no bytes once
    // the output has ended (the child and everything it started closed it).
    bool ReadChunk(std::string& bytes);

    enum class Read { Data, Ended, TimedOut };
    // The same read, waiting at most timeoutMs (0: only what is there now).
    Read ReadChunkFor(std::string& bytes, uint32_t timeoutMs);

    bool IsRunning();
    void WaitForExit();
    // Waits at most timeoutMs; true once the child has exited.
    bool WaitForExitFor(uint32_t timeoutMs);
    // Bytes the child wrote to its standard error so far (read and dropped).
    uint64_t ErrorBytesDrained() const;
    // Ends the child at once (tests and emergencies; the runners never do).
    void Terminate();
    // Closes the process handles and every pipe end still open, after
    // stopping and joining the standard-error reader. Does not wait for the
    // child: one still running gets a broken pipe if it writes again.
    void Close();

    const std::wstring& CommandLine() const { return m_commandLine; }
    uint32_t ProcessId() const { return m_pid; }

private:
    std::wstring m_commandLine;
    struct ErrorDrain;  // the standard-error reader thread (per platform)
    std::unique_ptr<Pipe> m_errPipe;
    std::unique_ptr<Pipe> m_outPipe;
    std::unique_ptr<ErrorDrain> m_errDrain;
    NativeHandle m_nullInput = kNullHandle;  // the child's standard input
    NativeHandle m_process = kNullHandle;
    NativeHandle m_thread = kNullHandle;
    uint32_t m_pid = 0;
    uint32_t m_tid = 0;
    bool m_reaped = false;  // POSIX: the exit status has been collected
    void ReleasePipes();
};


// Decodes the bytes of one read: everything up to the first zero byte, in the
// given code page (0 = the ANSI code page, 65001 = UTF-8, 936 = GBK ...). A
// failed conversion yields an empty string.
std::wstring DecodeChunk(const std::string& bytes, unsigned codePage);

// Decodes one protocol line so that its ASCII keys always survive: when the
// code page cannot convert the bytes at all, the ANSI code page is tried and
// finally every non-ASCII byte becomes U+FFFD.
std::wstring DecodeLine(const std::string& bytes, unsigned codePage);

// Splits decoded text at line feeds: each piece before a line feed is a line
// (a carriage return before it stays), text after the last line feed is a final
// line, an empty text gives no line, adjacent line feeds give an empty line.
std::vector<std::wstring> SplitLines(const std::wstring& text);

// Reassembles the byte stream of a child's output into whole lines before they
// are decoded, so that neither a line nor a multi-byte character is cut where
// one read ends and the next begins.
class LineAssembler {
public:
    // A line this long without a line feed is handed on as it is.
    static constexpr size_t kMaxPending = 64 * 1024;

    // Appends bytes and returns every line completed by them (without the line
    // feed; a carriage return before it stays). Bytes after a zero byte in one
    // read are dropped, as the decoder would drop them.
    std::vector<std::string> Feed(const std::string& bytes);
    // The text after the last line feed, once the output has ended; empty
    // when there is none. Clears it.
    bool TakeRest(std::string& line);

private:
    std::string m_pending;
};

}  // namespace Utils
