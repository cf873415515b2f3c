#include "utils/desktop_shell.h"

namespace Utils {

// No desktop shell to hand anything to; callers open it themselves.
bool OpenAsDesktopUser(const std::wstring&, const std::wstring&, int, std::wstring& why) {
    why = L"no desktop shell on this platform";
    return false;
}

}  // namespace Utils
