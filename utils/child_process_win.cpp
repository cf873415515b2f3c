// Windows child processes: CreateProcessW with a hidden window and an explicit
// list of the handles the child inherits (its three pipe ends and nothing else).
#include <windows.h>

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
}  // namespace

Pipe::Pipe() {
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.bInheritHandle = TRUE;
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!::CreatePipe(&r, &w, &sa, 0)) {
        if (r) ::CloseHandle(r);
        if (w) ::CloseHandle(w);
        throw Exception();
    }
    m_readEnd = N(r);
    m_writeEnd = N(w);
}

void Pipe::CloseWriteEnd() { CloseNative(m_writeEnd); }
void Pipe::CloseReadEnd() { CloseNative(m_readEnd); }

void ChildProcess::Launch(const std::wstring& commandLine, const std::wstring& workingDir) {
    Close();
    if (commandLine.size() > kMaxCommandLine) throw Exception();
    m_commandLine = commandLine;
    try {
        m_errPipe = std::make_unique<Pipe>();
        m_outPipe = std::make_unique<Pipe>();
        m_inPipe = std::make_unique<Pipe>();
    } catch (...) {
        ReleasePipes();
        throw;
    }
    ::SetHandleInformation(H(m_outPipe->ReadEnd()), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(H(m_errPipe->ReadEnd()), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(H(m_inPipe->WriteEnd()), HANDLE_FLAG_INHERIT, 0);

    HANDLE inherit[3] = {H(m_inPipe->ReadEnd()), H(m_outPipe->WriteEnd()), H(m_errPipe->WriteEnd())};
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
    m_inPipe->CloseReadEnd();
}

bool ChildProcess::ReadChunk(std::string& bytes) {
    bytes.clear();
    if (!m_outPipe || m_outPipe->ReadEnd() == kNullHandle) return false;
    char buf[kChunkSize];
    DWORD n = 0;
    BOOL ok = ::ReadFile(H(m_outPipe->ReadEnd()), buf, sizeof buf, &n, nullptr);
    if (n > 0) bytes.assign(buf, n);
    // A zero-byte success is not the end of the output; only a failure is.
    return ok || n > 0 ? true : false;
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
