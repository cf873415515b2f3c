#pragma once
// Runs the downloaded product package as a hidden child process with the
// install choices on its command line, and turns its output lines into
// notifications for the owner.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "install/pipeline.h"

namespace Utils {
class Thread;
class ChildProcess;
}  // namespace Utils

class CInstaller {
public:
    struct Version {
        int32_t major = 0, minor = 0, patch = 0;
    };

    // package: the package's full path enclosed in double quotes.
    CInstaller(DownloadCallback callback, std::wstring package, InstallChoices choices = {});
    ~CInstaller();
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    // The folder, shortcuts, account facts, language and extra command-line
    // text of the next run (the download fields are not used here).
    void SetChoices(const InstallChoices& choices) { m_choices = choices; }
    // Called on the worker at the very end of every run, after the package has
    // exited (its verdict may have been notified while it was still running).
    void SetRunEndedHandler(std::function<void()> handler) { m_runEnded = std::move(handler); }

    // Builds the command line, waits for an earlier run's worker and starts a
    // new one ("ABDEF"). Returns at once.
    void Run();
    std::wstring BuildCommandLine() const;
    // The worker body: launch, read, report. Returns 0.
    uint32_t Execute();
    // Parses one piece of decoded output; returns 0, 1 (success) or 1000 (failure).
    int Parse(const std::wstring& chunk);

    unsigned CodePage() const { return m_codePage; }
    Version InstallVersion() const { return m_installVersion; }
    const std::wstring& Package() const { return m_package; }
    const std::wstring& CommandLine() const { return m_commandLine; }

private:
    void Notify(int code, double value, const std::wstring& text);

    DownloadCallback m_callback;
    std::wstring m_package;
    InstallChoices m_choices;
    std::wstring m_commandLine;
    std::atomic<unsigned> m_codePage{0};
    std::unique_ptr<Utils::Thread> m_worker;
    std::unique_ptr<Utils::ChildProcess> m_child;
    Version m_installVersion;
    std::function<void()> m_runEnded;
};
