// POSIX child processes: posix_spawn with the three pipe ends duplicated onto
// the standard streams; every other descriptor of ours is close-on-exec, so the
// child inherits nothing else.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

void ChildProcess::Launch(const std::wstring& commandLine, const std::wstring& workingDir) {
    Close();
    if (commandLine.size() > kMaxCommandLine) throw Exception();
    m_commandLine = commandLine;
    std::vector<std::wstring> args = SplitCommandLine(commandLine);
    if (args.empty() || args[0].empty()) throw Exception();
    try {
        m_errPipe = std::make_unique<Pipe>();
        m_outPipe = std::make_unique<Pipe>();
        m_inPipe = std::make_unique<Pipe>();
    } catch (...) {
        ReleasePipes();
        throw;
    }
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
    posix_spawn_file_actions_adddup2(&actions, static_cast<int>(m_inPipe->ReadEnd()), 0);
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
    m_inPipe->CloseReadEnd();
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
