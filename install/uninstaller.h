#pragma once
// Runs the previous version's uninstaller (a copy of it) silently and reports
// its progress and verdict.
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

class CUnInstaller {
public:
    // exePath: the uninstaller copy to run; oldFolder: the previous installation's folder.
    CUnInstaller(DownloadCallback callback, std::wstring exePath, std::wstring oldFolder);
    ~CUnInstaller();
    CUnInstaller(const CUnInstaller&) = delete;
    CUnInstaller& operator=(const CUnInstaller&) = delete;

    // Called on the worker at the very end of the run, after the uninstaller
    // has exited and its last output has been read.
    void SetRunEndedHandler(std::function<void()> handler) { m_runEnded = std::move(handler); }

    // Builds the command line and starts the worker ("UnInstaller"). Returns at once.
    void Run();
    // The command line for the given account facts.
    std::wstring BuildCommandLine(bool adminAct, bool authorizationAct) const;
    uint32_t Execute();
    int Parse(const std::wstring& chunk);

    unsigned CodePage() const { return m_codePage; }
    const std::wstring& CommandLine() const { return m_commandLine; }

private:
    void Notify(int code, double value, const std::wstring& text);

    DownloadCallback m_callback;
    std::wstring m_commandLine;
    std::wstring m_exePath;
    std::wstring m_oldFolder;
    std::atomic<unsigned> m_codePage{0};
    std::unique_ptr<Utils::Thread> m_worker;
    std::unique_ptr<Utils::ChildProcess> m_child;
    std::function<void()> m_runEnded;
};
