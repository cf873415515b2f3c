// POSIX child processes: posix_spawn with /dev/null as standard input and the
// two pipe ends duplicated onto standard output and error; every other
// descriptor of ours is close-on-exec, so the child inherits nothing else.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "utils/child_process.h"
#include "utils/fs.h"
#include "utils/text.h"

extern char** environ;

namespace Utils {

namespace {
void CloseHandle(NativeHandle& h) {
    if (h != kNullHandle) {
        ::close(static_cast<int>(h));
        h = kNullHandle;
    }
}
}  // namespace

Pipe::Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw Exception();
    m_readEnd = fds[0];
    m_writeEnd = fds[1];
}

void Pipe::CloseWriteEnd() { CloseHandle(m_writeEnd); }
void Pipe::CloseReadEnd() { CloseHandle(m_readEnd); }

// Reads the child's standard error and drops it until the stream ends or Stop
// is called; a second pipe wakes the thread from its wait.
struct ChildProcess::ErrorDrain {
    explicit ErrorDrain(int readEnd) : fd(readEnd) {
        int w[2];
        if (::pipe2(w, O_CLOEXEC) != 0) throw Exception();
        wakeRead = w[0];
        wakeWrite = w[1];
        thread = std::thread([this] { Run(); });
    }
    ~ErrorDrain() {
        Stop();
        ::close(wakeRead);
        ::close(wakeWrite);
    }
    void Stop() {
        if (!thread.joinable()) return;
        char c = 1;
        while (::write(wakeWrite, &c, 1) < 0 && errno == EINTR) {
        }
        thread.join();
    }
    void Run() {
        char buf[4096];
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
            int r = ::poll(fds, 2, -1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 || fds[1].revents != 0) return;
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            drained += static_cast<uint64_t>(n);
        }
    }
    int fd;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::atomic<uint64_t> drained{0};
    std::thread thread;
};

ChildProcess::ChildProcess() = default;
ChildProcess::~ChildProcess() { Close(); }

void ChildProcess::ReleasePipes() {
    m_errDrain.reset();  // stops and joins the reader before its pipe goes
    m_errPipe.reset();
    m_outPipe.reset();
    CloseHandle(m_nullInput);
}

uint64_t ChildProcess::ErrorBytesDrained() const { return m_errDrain ? m_errDrain->drained.load() : 0; }

void ChildProcess::Launch(const std::wstring& commandLine, const std::wstring& workingDir) {
    Close();
    if (commandLine.size() > kMaxCommandLine) throw Exception();
    m_commandLine = commandLine;
    std::vector<std::wstring> args = SplitCommandLine(commandLine);
    if (args.empty() || args[0].empty()) throw Exception();
    try {
        m_errPipe = std::make_unique<Pipe>();
        m_outPipe = std::make_unique<Pipe>();
    } catch (...) {
        ReleasePipes();
        throw;
    }
    // Standard input is the null device: a child that reads it gets the end
    // of input at once instead of waiting on a pipe nobody writes.
    int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullFd < 0) {
        ReleasePipes();
        throw Exception();
    }
    m_nullInput = nullFd;
    std::vector<std::string> narrow;
    narrow.push_back(NativePath(args[0]));
    for (size_t i = 1; i < args.size(); ++i) narrow.push_back(WideToUtf8(args[i]));
    std::vector<char*> argv;
    for (auto& a : narrow) argv.push_back(a.data());
    argv.push_back(nullptr);

    // A downloaded package or a copied uninstaller arrives without the execute
    // bit; on Windows any file named as a program runs, so grant it here.
    struct stat st{};
    if (::stat(narrow[0].c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IXUSR))
        ::chmod(narrow[0].c_str(), st.st_mode | S_IXUSR);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, nullFd, 0);
    posix_spawn_file_actions_adddup2(&actions, static_cast<int>(m_outPipe->WriteEnd()), 1);
    posix_spawn_file_actions_adddup2(&actions, static_cast<int>(m_errPipe->WriteEnd()), 2);
    const std::string dir = workingDir.empty() ? std::string() : NativePath(workingDir);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = 0;
    // A bare program name is looked up on the PATH, as Windows does.
    bool bare = narrow[0].find('/') == std::string::npos;
    int rc = bare ? posix_spawnp(&pid, narrow[0].c_str(), &actions, nullptr, argv.data(), environ)
                  : posix_spawn(&pid, narrow[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ReleasePipes();
        throw Exception();
    }
    m_process = pid;
    m_pid = static_cast<uint32_t>(pid);
    m_reaped = false;
    // Our copies of the child's ends go, so the output ends when the child does.
    m_outPipe->CloseWriteEnd();
    m_errPipe->CloseWriteEnd();
    CloseHandle(m_nullInput);
    try {
        m_errDrain = std::make_unique<ErrorDrain>(static_cast<int>(m_errPipe->ReadEnd()));
    } catch (...) {
        // Without a reader the child could block on a full error pipe: it is
        // closed instead, so writes to it fail and the child goes on.
        m_errPipe.reset();
    }
}

bool ChildProcess::ReadChunk(std::string& bytes) {
    bytes.clear();
    if (!m_outPipe || m_outPipe->ReadEnd() == kNullHandle) return false;
    char buf[kChunkSize];
    for (;;) {
        ssize_t n = ::read(static_cast<int>(m_outPipe->ReadEnd()), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.assign(buf, static_cast<size_t>(n));
        return true;
    }
}

ChildProcess::Read ChildProcess::ReadChunkFor(std::string& bytes, uint32_t timeoutMs) {
    bytes.clear();
    if (!m_outPipe || m_outPipe->ReadEnd() == kNullHandle) return Read::Ended;
    const int fd = static_cast<int>(m_outPipe->ReadEnd());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) return Read::TimedOut;
        if (r < 0) return Read::Ended;
        char buf[kChunkSize];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Read::Ended;
        bytes.assign(buf, static_cast<size_t>(n));
        return Read::Data;
    }
}

bool ChildProcess::WaitForExitFor(uint32_t timeoutMs) {
    if (m_process == kNullHandle || m_reaped) return true;
    const pid_t pid = static_cast<pid_t>(m_process);
    // A process descriptor becomes readable when the process ends, so the wait
    // needs no polling; kernels without it are polled every 10 ms.
    int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool ended = false;
    for (;;) {
        if (!IsRunning()) {
            ended = true;
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (pidFd >= 0) {
            pollfd p{pidFd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left.count()));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(10, left.count())));
        }
    }
    if (pidFd >= 0) ::close(pidFd);
    return ended;
}

bool ChildProcess::IsRunning() {
    if (m_process == kNullHandle || m_reaped) return false;
    int status = 0;
    pid_t r = ::waitpid(static_cast<pid_t>(m_process), &status, WNOHANG);
    if (r == 0) return true;
    m_reaped = true;
    return false;
}

void ChildProcess::WaitForExit() {
    if (m_process == kNullHandle || m_reaped) return;
    int status = 0;
    while (::waitpid(static_cast<pid_t>(m_process), &status, 0) < 0 && errno == EINTR) {
    }
    m_reaped = true;
}

void ChildProcess::Terminate() {
    if (m_process != kNullHandle && !m_reaped) ::kill(static_cast<pid_t>(m_process), SIGKILL);
}

void ChildProcess::Close() {
    // A child that was never waited for is collected here so no zombie stays.
    if (m_process != kNullHandle && !m_reaped) {
        int status = 0;
        if (::waitpid(static_cast<pid_t>(m_process), &status, WNOHANG) != 0) m_reaped = true;
    }
    m_process = kNullHandle;
    m_thread = kNullHandle;
    ReleasePipes();
}

}  // namespace Utils
