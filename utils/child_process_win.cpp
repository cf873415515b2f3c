// Windows child processes: CreateProcessW with a hidden window and an explicit
// list of the handles the child inherits (the null device as its standard
// input, its two pipe ends and nothing else).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "utils/child_process.h"

namespace Utils {

namespace {
HANDLE H(NativeHandle h) { return reinterpret_cast<HANDLE>(h); }
NativeHandle N(HANDLE h) { return reinterpret_cast<NativeHandle>(h); }
void CloseNative(NativeHandle& h) {
    if (h != kNullHandle) {
        ::CloseHandle(H(h));
        h = kNullHandle;
    }
}

// One read from a pipe end opened with FILE_FLAG_OVERLAPPED that waits at most
// timeoutMs (INFINITE: no limit) or until the event stop (may be null) is set.
ChildProcess::Read OverlappedRead(HANDLE pipe, char* buf, DWORD size, DWORD timeoutMs, HANDLE stop, DWORD& got) {
    using R = ChildProcess::Read;
    got = 0;
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ov.hEvent) return R::Ended;
    R result = R::Ended;
    if (::ReadFile(pipe, buf, size, nullptr, &ov)) {
        result = ::GetOverlappedResult(pipe, &ov, &got, TRUE) ? R::Data : R::Ended;
    } else if (::GetLastError() == ERROR_IO_PENDING) {
        HANDLE waits[2] = {ov.hEvent, stop};
        DWORD w = ::WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, timeoutMs);
        if (w != WAIT_OBJECT_0) ::CancelIoEx(pipe, &ov);
        // After a cancel the read may still have completed with data: its
        // result decides, not the reason the wait ended.
        if (::GetOverlappedResult(pipe, &ov, &got, TRUE))
            result = R::Data;
        else
            result = ::GetLastError() == ERROR_OPERATION_ABORTED ? R::TimedOut : R::Ended;
    }
    ::CloseHandle(ov.hEvent);
    return result;
}

std::atomic<unsigned> g_pipeSerial{0};
}  // namespace

// A named pipe stands in for an anonymous one, which cannot be read with a
// time limit or stopped: the read end is overlapped, the write end the child
// gets is an ordinary handle, and the one instance is taken by this process.
Pipe::Pipe() {
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.bInheritHandle = TRUE;
    wchar_t name[96];
    std::swprintf(name, 96, L"\\\\.\\pipe\\velqor-%lu-%lu-%u", static_cast<unsigned long>(::GetCurrentProcessId()),
                  static_cast<unsigned long>(::GetCurrentThreadId()), g_pipeSerial.fetch_add(1));
    HANDLE r = ::CreateNamedPipeW(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, &sa);
    if (r == INVALID_HANDLE_VALUE) throw Exception();
    HANDLE w = ::CreateFileW(name, GENERIC_WRITE, 0, &sa, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (w == INVALID_HANDLE_VALUE) {
        ::CloseHandle(r);
        throw Exception();
    }
    m_readEnd = N(r);
    m_writeEnd = N(w);
}

void Pipe::CloseWriteEnd() { CloseNative(m_writeEnd); }
void Pipe::CloseReadEnd() { CloseNative(m_readEnd); }

// Reads the child's standard error and drops it until the stream ends or Stop
// sets the stop event.
struct ChildProcess::ErrorDrain {
    explicit ErrorDrain(HANDLE readEnd) : pipe(readEnd) {
        stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!stop) throw Exception();
        thread = std::thread([this] { Run(); });
    }
    ~ErrorDrain() {
        Stop();
        ::CloseHandle(stop);
    }
    void Stop() {
        if (!thread.joinable()) return;
        ::SetEvent(stop);
        thread.join();
    }
    void Run() {
        char buf[4096];
        for (;;) {
            DWORD got = 0;
            if (OverlappedRead(pipe, buf, sizeof buf, INFINITE, stop, got) != Read::Data) return;
            drained += got;
        }
    }
    HANDLE pipe;
    HANDLE stop = nullptr;
    std::atomic<uint64_t> drained{0};
    std::thread thread;
};

ChildProcess::ChildProcess() = default;
ChildProcess::~ChildProcess() { Close(); }

void ChildProcess::ReleasePipes() {
    m_errDrain.reset();  // stops and joins the reader before its pipe goes
    m_errPipe.reset();
    m_outPipe.reset();
    CloseNative(m_nullInput);
}

uint64_t ChildProcess::ErrorBytesDrained() const { return m_errDrain ? m_errDrain->drained.load() : 0; }

void ChildProcess::Launch(const std::wstring& commandLine, const std::wstring& workingDir) {
    Close();
    if (commandLine.size() > kMaxCommandLine) throw Exception();
    m_commandLine = commandLine;
    try {
        m_errPipe = std::make_unique<Pipe>();
        m_outPipe = std::make_unique<Pipe>();
    } catch (...) {
        ReleasePipes();
        throw;
    }
    ::SetHandleInformation(H(m_outPipe->ReadEnd()), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(H(m_errPipe->ReadEnd()), HANDLE_FLAG_INHERIT, 0);
    // Standard input is the null device: a child that reads it gets the end
    // of input at once instead of waiting on a pipe nobody writes.
    SECURITY_ATTRIBUTES nullSa{};
    nullSa.nLength = sizeof nullSa;
    nullSa.bInheritHandle = TRUE;
    HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &nullSa, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (nul == INVALID_HANDLE_VALUE) {
        ReleasePipes();
        throw Exception();
    }
    m_nullInput = N(nul);

    HANDLE inherit[3] = {nul, H(m_outPipe->WriteEnd()), H(m_errPipe->WriteEnd())};
    SIZE_T attrSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &attrSize);
    std::vector<unsigned char> attrBuf(attrSize);
    auto attrs = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attrBuf.data());
    bool haveList = attrSize != 0 && ::InitializeProcThreadAttributeList(attrs, 1, 0, &attrSize) &&
                    ::UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit,
                                                sizeof inherit, nullptr, nullptr);

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = haveList ? sizeof si : sizeof si.StartupInfo;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.StartupInfo.wShowWindow = SW_HIDE;
    si.StartupInfo.hStdInput = inherit[0];
    si.StartupInfo.hStdOutput = inherit[1];
    si.StartupInfo.hStdError = inherit[2];
    si.lpAttributeList = haveList ? attrs : nullptr;

    // CreateProcessW may write into the command-line buffer.
    std::vector<wchar_t> buffer(kMaxCommandLine + 1, L'\0');
    m_commandLine.copy(buffer.data(), m_commandLine.size());
    PROCESS_INFORMATION pi{};
    BOOL ok = ::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE,
                               haveList ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr,
                               workingDir.empty() ? nullptr : workingDir.c_str(), &si.StartupInfo, &pi);
    if (haveList) ::DeleteProcThreadAttributeList(attrs);
    if (!ok) {
        ReleasePipes();
        throw Exception();
    }
    m_process = N(pi.hProcess);
    m_thread = N(pi.hThread);
    m_pid = pi.dwProcessId;
    m_tid = pi.dwThreadId;
    m_outPipe->CloseWriteEnd();
    m_errPipe->CloseWriteEnd();
    CloseNative(m_nullInput);
    try {
        m_errDrain = std::make_unique<ErrorDrain>(H(m_errPipe->ReadEnd()));
    } catch (...) {
        // Without a reader the child could block on a full error pipe: it is
        // closed instead, so writes to it fail and the child goes on.
        m_errPipe.reset();
    }
}

bool ChildProcess::ReadChunk(std::string& bytes) {
    // A zero-byte success is not the end of the output; only a failure is.
    return ReadChunkFor(bytes, INFINITE) == Read::Data;
}

ChildProcess::Read ChildProcess::ReadChunkFor(std::string& bytes, uint32_t timeoutMs) {
    bytes.clear();
    if (!m_outPipe || m_outPipe->ReadEnd() == kNullHandle) return Read::Ended;
    char buf[kChunkSize];
    DWORD n = 0;
    Read r = OverlappedRead(H(m_outPipe->ReadEnd()), buf, sizeof buf, timeoutMs, nullptr, n);
    if (n > 0) bytes.assign(buf, n);
    return r;
}

bool ChildProcess::IsRunning() {
    if (m_process == kNullHandle) return false;
    DWORD code = 0;
    if (!::GetExitCodeProcess(H(m_process), &code)) return false;
    return code == STILL_ACTIVE;
}

void ChildProcess::WaitForExit() {
    if (m_process != kNullHandle) ::WaitForSingleObject(H(m_process), INFINITE);
}

bool ChildProcess::WaitForExitFor(uint32_t timeoutMs) {
    return m_process == kNullHandle || ::WaitForSingleObject(H(m_process), timeoutMs) == WAIT_OBJECT_0;
}

void ChildProcess::Terminate() {
    if (m_process != kNullHandle) ::TerminateProcess(H(m_process), 1);
}

void ChildProcess::Close() {
    CloseNative(m_thread);
    CloseNative(m_process);
    ReleasePipes();
    (void)m_reaped;
}

}  // namespace Utils
