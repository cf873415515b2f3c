#include "install/protocol_runner.h"

#include "utils/child_process.h"
#include "utils/signature.h"
#include "utils/thread.h"

ProtocolRunner::ProtocolRunner(DownloadCallback callback, std::wstring threadName)
    : m_callback(std::move(callback)), m_threadName(std::move(threadName)) {}

ProtocolRunner::~ProtocolRunner() {
    WaitForRun();
    m_child.reset();
}

void ProtocolRunner::WaitForRun() { m_worker.reset(); }

void ProtocolRunner::StartRun(std::wstring commandLine) {
    m_commandLine = std::move(commandLine);
    if (m_worker) {
        m_worker->Join();
        m_worker.reset();
    }
    m_worker = std::make_unique<Utils::Thread>(this, m_threadName, [](void* context) -> uint32_t {
        auto* self = static_cast<ProtocolRunner*>(context);
        self->Execute();
        if (self->m_runEnded) self->m_runEnded();
        return 0;
    });
    m_worker->Start();
}

void ProtocolRunner::Notify(int code, double value, const std::wstring& text) {
    if (m_callback) m_callback(code, value, text.c_str());
}

void ProtocolRunner::HoldProgram(std::unique_ptr<Utils::HeldFile> program, std::wstring workingDir) {
    m_program = std::move(program);
    m_workingDir = std::move(workingDir);
}

bool ProtocolRunner::LaunchChild(int failCode) {
    m_child.reset();
    m_child = std::make_unique<Utils::ChildProcess>();
    bool launched = true;
    try {
        m_child->Launch(m_commandLine, m_workingDir);
    } catch (const Utils::Exception&) {
        m_child.reset();
        launched = false;
    }
    // The started program has its own image now; the file may be deleted.
    m_program.reset();
    if (!launched) Notify(failCode, 2.0, L"");
    return launched;
}

bool ProtocolRunner::ReadAndClose(Reader reader) {
    bool result = reader(
        *m_child, [this] { return m_codePage.load(); }, [this](const std::wstring& line) { return Parse(line); },
        m_exitWaitMs.load());
    m_child->Close();
    m_child.reset();
    return result;
}
