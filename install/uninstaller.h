#pragma once
// Runs the previous version's uninstaller (a copy of it) silently and reports
// its progress and verdict.
#include <cstdint>
#include <string>

#include "install/pipeline.h"
#include "install/protocol_runner.h"

class CUnInstaller : public ProtocolRunner {
public:
    // exePath: the uninstaller copy to run; oldFolder: the previous installation's folder.
    CUnInstaller(DownloadCallback callback, std::wstring exePath, std::wstring oldFolder);
    ~CUnInstaller() override;

    // Builds the command line and starts the worker ("UnInstaller"). Returns at once.
    void Run();
    // The command line for the given account facts.
    std::wstring BuildCommandLine(bool adminAct, bool authorizationAct) const;
    int Parse(const std::wstring& chunk) override;
    // The copy failed its check: the run reports (UNIST_CODE_FAIL, 3.0,
    // reason) instead of starting it.
    void Refuse(std::wstring reason) { m_refusal = std::move(reason); }

private:
    void Execute() override;

    std::wstring m_exePath;
    std::wstring m_oldFolder;
    std::wstring m_refusal;
};
