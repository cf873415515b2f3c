#pragma once
// The entry point's window steps: create the main window, centre it, run its
// modal message loop; the window object is destroyed with this host.
#include <windows.h>

#include <memory>

class MainWindowHost {
public:
    explicit MainWindowHost(HINSTANCE instance);
    ~MainWindowHost();
    MainWindowHost(const MainWindowHost&) = delete;
    MainWindowHost& operator=(const MainWindowHost&) = delete;

    // Creates, centres and shows the window, then dispatches messages until the
    // window is gone or a quit message arrives (which is posted again).
    void Run();

private:
    struct Window;
    HINSTANCE m_instance;
    std::unique_ptr<Window> m_window;
};
