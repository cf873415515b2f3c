#pragma once
// The entry point's unattended pieces (Windows): the parent's console, the
// refusal of a bad command line and the silent installation.
#include <string>

class LaunchConfig;

// Lines for the console of whoever started the installer: the parent's
// console when there is one (AttachConsole), or the standard output handle
// when it was redirected to a file or a pipe. Without either, nothing.
class ParentConsole {
public:
    static ParentConsole& Get();
    void Write(const std::wstring& line);

private:
    ParentConsole();
    void* m_handle = nullptr;
    bool m_isConsole = false;
};

// Every problem of the command line on the console and in the log; returns
// the exit code for a bad command line.
int RefuseCommandLine(const LaunchConfig& config);

// The whole silent road (COM, the orchestrator, console progress); returns
// the exit code.
int RunSilentInstall(const LaunchConfig& config);
