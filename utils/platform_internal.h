#pragma once
// Platform hooks shared by the portable parts of utils/ (not for other folders).
#include <string>

namespace Utils::detail {

// Emits one finished log line on the platform's debugger-output channel.
void EmitDebugLine(const std::wstring& line);

}  // namespace Utils::detail
