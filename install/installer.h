#pragma once
// Runs the downloaded product package as a hidden child process with the
// install choices on its command line, and turns its output lines into
// notifications for the owner.
#include <cstdint>
#include <string>

#include "install/pipeline.h"
#include "install/protocol_runner.h"

class CInstaller : public ProtocolRunner {
public:
    struct Version {
        int32_t major = 0, minor = 0, patch = 0;
    };

    // package: the package's full path enclosed in double quotes.
    CInstaller(DownloadCallback callback, std::wstring package, InstallChoices choices = {});
    ~CInstaller() override;

    // The folder, shortcuts, account facts, language and extra command-line
    // text of the next run (the download fields are not used here).
    void SetChoices(const InstallChoices& choices) { m_choices = choices; }

    // Builds the command line, waits for an earlier run's worker and starts a
    // new one ("ABDEF"). Returns at once.
    void Run();
    std::wstring BuildCommandLine() const;
    int Parse(const std::wstring& chunk) override;

    Version InstallVersion() const { return m_installVersion; }
    const std::wstring& Package() const { return m_package; }

private:
    // Launch, read, report.
    void Execute() override;

    std::wstring m_package;
    InstallChoices m_choices;
    Version m_installVersion;
};
