#pragma once
// Worker-thread wrapper: the thread is created suspended at construction, runs
// body(context) after Start, and is always waited for: Join and the destructor
// block until the body has returned. A thread that was never started is let go
// without running its body when the object is destroyed.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Utils {

uint32_t CurrentThreadId();

class Thread {
public:
    using Body = std::function<uint32_t(void*)>;
    static constexpr uint32_t kNoThread = 0xFFFFFFFFu;

    Thread(void* context, std::wstring name, Body body);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    bool Start();
    void Join();

    uint32_t Id() const { return m_id; }
    bool IsCreated() const;
    const std::wstring& Name() const { return m_name; }

    // The debugger name a thread gets: its name in the ANSI code page, or "t" + id.
    static std::string DebuggerName(const std::wstring& name, uint32_t id);

    // Thread entry routine (logs begin and end around the body).
    static void CallBack(Thread* self);

private:
    struct Impl;
    void* m_context;
    std::wstring m_name;
    Body m_body;
    uint32_t m_id = kNoThread;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace Utils
