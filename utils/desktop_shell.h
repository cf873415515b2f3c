#pragma once
// Opening a program, document or web page as the signed-in desktop user rather
// than as this (elevated) process: the request is handed to the desktop shell
// (Explorer), which runs with the user's ordinary rights, through its
// automation object IShellDispatch2::ShellExecute. When the shell cannot take
// it (no desktop shell, not reachable), the caller is told and opens it itself.
#include <string>

namespace Utils {

// folder: the working folder, may be empty. show: a Windows SW_* value.
// Returns false, with the reason in why, when the desktop shell did not take
// the request.
bool OpenAsDesktopUser(const std::wstring& target, const std::wstring& folder, int show, std::wstring& why);

}  // namespace Utils
