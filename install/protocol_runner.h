#pragma once
// What the package run and the previous-version uninstall have in common: a
// worker thread per run that launches a hidden child with a command line,
// reads its standard output as protocol lines, notifies the owner and ends
// with the run-ended handler. The derived runner supplies the command line, the
// body of a run and the parsing of its lines.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "install/output_reader.h"
#include "install/pipeline.h"

namespace Utils {
class Thread;
class ChildProcess;
class HeldFile;
}  // namespace Utils

class ProtocolRunner {
public:
    ProtocolRunner(const ProtocolRunner&) = delete;
    ProtocolRunner& operator=(const ProtocolRunner&) = delete;

    // Called on the worker at the very end of every run, after the child has
    // exited (a verdict may have been notified while it was still running).
    void SetRunEndedHandler(std::function<void()> handler) { m_runEnded = std::move(handler); }

    // Parses one piece of decoded output; returns kVerdictNone,
    // kVerdictSuccess or kVerdictFailure.
    virtual int Parse(const std::wstring& chunk) = 0;

    // The program file of the next run, held open since it was checked so that
    // it cannot be replaced before it starts (released once the launch has
    // returned), and the folder the child starts in (empty: this process's).
    void HoldProgram(std::unique_ptr<Utils::HeldFile> program, std::wstring workingDir);

    unsigned CodePage() const { return m_codePage; }

    // The longest a run waits for its child after the child gave its verdict
    // (see output_reader.h); the run then ends and the child is left running.
    void SetExitWaitMs(uint32_t ms) { m_exitWaitMs = ms; }
    uint32_t ExitWaitMs() const { return m_exitWaitMs; }
    const std::wstring& CommandLine() const { return m_commandLine; }

protected:
    ProtocolRunner(DownloadCallback callback, std::wstring threadName);
    // Waits for the worker. A derived runner calls WaitForRun() in its own
    // destructor, since the worker runs its Execute.
    virtual ~ProtocolRunner();

    // The body of one run, on the worker; the run-ended handler follows it.
    virtual void Execute() = 0;

    // Waits for an earlier run's worker, then starts a new one that runs
    // commandLine. Returns at once.
    void StartRun(std::wstring commandLine);
    void WaitForRun();

    void Notify(int code, double value, const std::wstring& text);
    // Launches the command line as a hidden child. When that fails, notifies
    // (failCode, 2.0, "") and returns false.
    bool LaunchChild(int failCode);
    // Reads the child's output with one of the reading disciplines, which also
    // waits for the child (bounded once it gave its verdict), and closes it.
    // Returns what the reader returned.
    using Reader = bool (*)(Utils::ChildProcess&, const install_detail::CodePageFn&, const install_detail::ParseFn&,
                            uint32_t exitWaitMs);
    bool ReadAndClose(Reader reader);

    std::atomic<unsigned> m_codePage{0};
    std::atomic<uint32_t> m_exitWaitMs{install_detail::kDefaultExitWaitMs};

private:
    DownloadCallback m_callback;
    std::wstring m_threadName;
    std::wstring m_commandLine;
    std::unique_ptr<Utils::Thread> m_worker;
    std::unique_ptr<Utils::ChildProcess> m_child;
    std::function<void()> m_runEnded;
    std::unique_ptr<Utils::HeldFile> m_program;
    std::wstring m_workingDir;
};
