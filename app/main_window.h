#pragma once
// The entry point's window steps: prepare the toolkit, create the main window,
// centre it and run its modal message loop. The window object lives as long as
// this host, so that it is destroyed after the analytics shutdown.
#include <windows.h>

#include <memory>

class CMainWnd;

class MainWindowHost {
public:
    explicit MainWindowHost(HINSTANCE instance);
    ~MainWindowHost();
    MainWindowHost(const MainWindowHost&) = delete;
    MainWindowHost& operator=(const MainWindowHost&) = delete;

    // Creates, centres and shows the window, then dispatches messages until the
    // window is gone or a quit message arrives (which is posted again).
    void Run();
    // The exit code the window's run earned (see install/exit_codes.h).
    int ExitCode() const;

private:
    HINSTANCE m_instance;
    std::unique_ptr<CMainWnd> m_window;
};
