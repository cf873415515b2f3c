// The yardstick for the installer's start-up: the least a GDI+ program of the
// same build does to show a window of the installer's size. It registers a
// class, creates a 600 x 400 window, starts GDI+ and paints one filled
// rectangle and one line of text in WM_PAINT, then reports its first complete
// paint exactly as the installer does (app/first_paint_win.h).
//
// Built a second time with VELQOR_BARE_FIXED_STARTUP (bare_window_startup.exe),
// it first takes the two steps that the installer's start-up takes before any
// work of its own: the DLL search hardening with its preloads of system DLLs,
// and libcurl's global initialisation. The installer's first paint against
// that window says what the rest of its start-up costs.
#include <windows.h>

#include <objidl.h>  // GDI+ needs the COM types
#include <gdiplus.h>

#include "app/first_paint_win.h"
#ifdef VELQOR_BARE_FIXED_STARTUP
#include <curl/curl.h>

#include "app/startup.h"
#endif

namespace {

constexpr int kWidth = 600, kHeight = 400;  // the installer's main window (skin/mainWnd.xml)

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    {
        Gdiplus::Graphics g(dc);
        Gdiplus::SolidBrush fill(Gdiplus::Color(255, 47, 107, 255));
        g.FillRectangle(&fill, 0, 0, client.right, client.bottom);
        Gdiplus::FontFamily family(L"微软雅黑");
        Gdiplus::Font font(&family, 14.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
        Gdiplus::SolidBrush ink(Gdiplus::Color(255, 255, 255, 255));
        g.DrawString(L"Velqor", -1, &font, Gdiplus::PointF(24.0f, 24.0f), &ink);
    }
    EndPaint(hwnd, &ps);
    first_paint::Painted(hwnd, ps.rcPaint, client);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#ifdef VELQOR_BARE_FIXED_STARTUP
    HardenDllSearch();
    curl_global_init(CURL_GLOBAL_ALL);
#endif
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"VelqorBareWindow";
    if (!RegisterClassExW(&wc)) return 1;

    RECT work{0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + (work.right - work.left - kWidth) / 2;
    const int y = work.top + (work.bottom - work.top - kHeight) / 2;
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"bare window", WS_POPUP | WS_VISIBLE, x, y, kWidth, kHeight,
                                nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 1;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
