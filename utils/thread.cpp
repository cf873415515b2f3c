#include "utils/thread.h"

#include "utils/log.h"
#include "utils/text.h"
#include "utils/thread_impl.h"

namespace Utils {

std::string Thread::DebuggerName(const std::wstring& name, uint32_t id) {
    if (name.empty()) return "t" + std::to_string(id);
    return WideToAnsi(name);
}

bool Thread::IsCreated() const { return m_impl && m_impl->created; }

void Thread::CallBack(Thread* self) {
    DEBUG_LOG(L"THREAD BEGIN\r\n");
    // A thread that is let go without Start must not run its body.
    if (!self->m_impl->cancelled.load()) self->m_body(self->m_context);
    DEBUG_LOG(L"THREAD END\r\n");
}

}  // namespace Utils
