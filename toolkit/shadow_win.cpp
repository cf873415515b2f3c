#include "toolkit/shadow_win.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "toolkit/dib_win.h"

namespace toolkit {
namespace {
constexpr wchar_t kShadowClass[] = L"SkinShadowWnd";
constexpr UINT kMsgFollow = WM_APP + 0x3B0;  // posted to the shadow window itself
bool g_registered = false;
}  // namespace

CWindowShadow::CWindowShadow() = default;

CWindowShadow::~CWindowShadow() {
    if (m_hwnd && IsWindow(m_hwnd)) DestroyWindow(m_hwnd);
}

bool CWindowShadow::RegisterWindowClass(HINSTANCE instance) {
    if (g_registered) return true;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32 || !GetProcAddress(user32, "UpdateLayeredWindow")) return false;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &CWindowShadow::Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kShadowClass;
    g_registered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return g_registered;
}

bool CWindowShadow::IsAvailable() { return g_registered; }

bool CWindowShadow::Create(HWND parent) {
    if (!g_registered || !parent) return false;
    m_parent = parent;
    // Owned by the parent's owner so that it stays behind the parent.
    HWND owner = GetWindow(parent, GW_OWNER);
    m_hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kShadowClass,
                             nullptr, WS_POPUP, 0, 0, 0, 0, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!m_hwnd) return false;
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

LRESULT CALLBACK CWindowShadow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgFollow) {
        if (auto* self = reinterpret_cast<CWindowShadow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) self->Follow();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void CWindowShadow::RequestFollow() {
    if (m_followPosted) return;
    m_followPosted = PostMessageW(m_hwnd, kMsgFollow, 0, 0) != FALSE;
    if (!m_followPosted) Follow();  // no room in the queue: at once
}

void CWindowShadow::Follow() {
    m_followPosted = false;
    if (!m_hwnd || !m_parent) return;
    if (!IsWindowVisible(m_parent) || IsIconic(m_parent)) {
        ShowWindow(m_hwnd, SW_HIDE);
        return;
    }
    // The window's own content first (a window just shown has not painted
    // yet: this message comes before its WM_PAINT), then its shadow.
    UpdateWindow(m_parent);
    RECT pr;
    GetWindowRect(m_parent, &pr);
    const int reach = std::abs(m_params.size);
    if (m_drawn.cx != pr.right - pr.left + 2 * reach || m_drawn.cy != pr.bottom - pr.top + 2 * reach) {
        Update();
        return;
    }
    // The same picture at another place.
    SetWindowPos(m_hwnd, m_parent, pr.left - reach + m_params.xOffset, pr.top - reach + m_params.yOffset, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    Restack();
}

void CWindowShadow::OnParentMessage(UINT msg, WPARAM wp, LPARAM) {
    if (!m_hwnd) return;
    switch (msg) {
        case WM_MOVE:
        case WM_SIZE:
        case WM_WINDOWPOSCHANGED:
            if (IsWindowVisible(m_parent) && !IsIconic(m_parent)) RequestFollow();
            else ShowWindow(m_hwnd, SW_HIDE);
            break;
        case WM_SHOWWINDOW:
            // Sent before the parent is visible: the shadow follows once it is.
            if (wp) RequestFollow();
            else ShowWindow(m_hwnd, SW_HIDE);
            break;
        case WM_DESTROY:
            DestroyWindow(m_hwnd);
            m_hwnd = nullptr;
            break;
        default:
            break;
    }
}

void CWindowShadow::Update() {
    if (!m_hwnd || !m_parent) return;
    RECT pr;
    GetWindowRect(m_parent, &pr);
    const int reach = std::abs(m_params.size);
    const int pw = pr.right - pr.left, ph = pr.bottom - pr.top;
    const int w = pw + 2 * reach, h = ph + 2 * reach;
    if (w <= 0 || h <= 0 || pw <= 0 || ph <= 0) return;

    HDC screen = GetDC(nullptr);
    Dib32 dib(screen, w, h);
    if (!dib.Valid()) {
        ReleaseDC(nullptr, screen);
        return;
    }
    // Opacity falls from `darkness` at the window's edge to 0 at `size`
    // pixels away; a higher sharpness makes the fall steeper.
    const uint8_t r = m_params.colorRef & 0xFF, g = (m_params.colorRef >> 8) & 0xFF, b = (m_params.colorRef >> 16) & 0xFF;
    const double exponent = 1.0 + m_params.sharpness / 5.0;
    uint32_t* px = dib.Bits();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int dx = x < reach ? reach - x : (x >= reach + pw ? x - (reach + pw - 1) : 0);
            const int dy = y < reach ? reach - y : (y >= reach + ph ? y - (reach + ph - 1) : 0);
            // Nothing under the window itself.
            const int wx = x - reach + m_params.xOffset, wy = y - reach + m_params.yOffset;
            if (wx >= 0 && wx < pw && wy >= 0 && wy < ph) {
                px[y * w + x] = 0;
                continue;
            }
            double t = 1.0;
            if (reach > 0 && (dx || dy)) t = std::max(0.0, 1.0 - std::sqrt(double(dx * dx + dy * dy)) / (reach + 1));
            const auto a = static_cast<uint32_t>(m_params.darkness * std::pow(t, exponent) + 0.5);
            px[y * w + x] = (a << 24) | ((r * a / 255) << 16) | ((g * a / 255) << 8) | (b * a / 255);
        }
    }
    POINT dst{pr.left - reach + m_params.xOffset, pr.top - reach + m_params.yOffset};
    SIZE size{w, h};
    POINT src{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(m_hwnd, screen, &dst, &size, dib.Dc(), &src, 0, &blend, ULW_ALPHA);
    ReleaseDC(nullptr, screen);
    m_drawn = size;
    // Just behind the parent; where the platform stacks a newly shown window on
    // top, the parent is raised above its shadow again.
    SetWindowPos(m_hwnd, m_parent, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    Restack();
}

void CWindowShadow::Restack() {
    if (!m_restacking && GetWindow(m_parent, GW_HWNDPREV) == m_hwnd) {
        m_restacking = true;
        SetWindowPos(m_parent, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        m_restacking = false;
    }
}

}  // namespace toolkit
