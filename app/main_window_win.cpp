#include "app/main_window.h"

#include "app/configured_downloads.h"
#include "app/first_paint_win.h"
#include "config/launch_config.h"
#include "toolkit/window_win.h"
#include "ui/main_wnd_win.h"

namespace {
constexpr wchar_t kTitle[] = L"Velqor";
constexpr DWORD kStyle = 0x10CF0000;  // visible, overlapped, caption, system menu, thick frame, min/max boxes
}  // namespace

MainWindowHost::MainWindowHost(HINSTANCE instance) : m_instance(instance) {
    // The skin archive (resource 147) is read on a worker while GDI+ starts and
    // the window is made; the window's creation takes it from there.
    toolkit::PreloadSkinResource(instance, 147);
    // The toolkit knows the module, the embedded skin archive and the shadow's window class.
    toolkit::InitializeToolkit(instance);
    m_window = std::make_unique<CMainWnd>(ConfiguredDownloaderFactory(GetLaunchConfig()));
}

MainWindowHost::~MainWindowHost() {
    if (m_window && IsWindow(m_window->GetHWND())) DestroyWindow(m_window->GetHWND());
    m_window.reset();  // waits for the connectivity check and the orchestrator's workers
    toolkit::ShutdownToolkit();
}

int MainWindowHost::ExitCode() const { return m_window ? m_window->ExitCode() : 0; }

void MainWindowHost::Run() {
    // A skin that cannot be built ends the process inside Create (message, exit code 1).
    HWND hwnd = m_window->Create(nullptr, kTitle, kStyle, 0);
    if (!hwnd) return;
    if (first_paint::Requested()) m_window->SetPaintObserver(&first_paint::Painted);
    m_window->CenterWindow();
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    MSG msg;
    while (IsWindow(hwnd)) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit for outer loops
            break;
        }
        if (got < 0) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
