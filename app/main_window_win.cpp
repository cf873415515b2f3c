// A plain window titled "Velqor" that closes on request. It stands in for the
// skinned main window until that window exists; the entry point's steps around
// it (creation, centring, message loop, destruction order) are the real ones.
#include "app/main_window.h"

namespace {

constexpr wchar_t kClassName[] = L"VelqorPlainMainWindow";
constexpr DWORD kStyle = 0x10CF0000;  // visible, overlapped, caption, system menu, thick frame, min/max boxes

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT rc;
            GetClientRect(hwnd, &rc);
            DrawTextW(dc, L"Velqor", -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void CenterOnWorkArea(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi)) return;
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    int x = mi.rcWork.left + (mi.rcWork.right - mi.rcWork.left - w) / 2;
    int y = mi.rcWork.top + (mi.rcWork.bottom - mi.rcWork.top - h) / 2;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

struct MainWindowHost::Window {
    HWND hwnd = nullptr;
    ~Window() {
        if (hwnd && IsWindow(hwnd)) DestroyWindow(hwnd);
    }
};

MainWindowHost::MainWindowHost(HINSTANCE instance) : m_instance(instance), m_window(std::make_unique<Window>()) {}
MainWindowHost::~MainWindowHost() = default;

void MainWindowHost::Run() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = m_instance;
    wc.hIcon = LoadIconW(m_instance, MAKEINTRESOURCEW(145));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, kClassName, L"Velqor", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, 600, 400, nullptr,
                                nullptr, m_instance, nullptr);
    m_window->hwnd = hwnd;
    if (!hwnd) return;
    CenterOnWorkArea(hwnd);
    ShowWindow(hwnd, SW_SHOWNORMAL);
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
