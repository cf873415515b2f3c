#include "toolkit/window_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <objidl.h>  // GDI+ needs the COM types WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "toolkit/accessible_win.h"
#include "toolkit/dib_win.h"
#include "toolkit/render_win.h"
#include "toolkit/shadow_win.h"
#include "utils/log.h"
#include "utils/thread.h"

namespace toolkit {
namespace {

ULONG_PTR g_gdiplusToken = 0;
bool g_skinUnusable = false;  // the skin resource is there but is no readable archive
bool g_initialized = false;
std::vector<WindowImpl*> g_windows;  // live windows of the UI thread (relayout after a language change)

COLORREF ToColorRef(Color c) { return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

void RelayoutEverything() {
    for (auto* w : g_windows) {
        w->RefreshLanguageTexts();
        w->Relayout();
    }
}

// Depth-first visit of a control tree.
template <class F> void ForEachControl(Control* c, F&& f) {
    if (!c) return;
    f(c);
    if (auto* box = c->As<Container>())
        for (size_t i = 0; i < box->Count(); ++i) ForEachControl(box->ChildAt(i), f);
}

}  // namespace

namespace {

// A skin resource read into an archive, or why it could not be.
struct OpenedSkin {
    HINSTANCE instance = nullptr;
    int id = 0;
    bool found = false;  // the resource is there and not empty
    std::unique_ptr<SkinArchive> archive;
    std::wstring error;
};

OpenedSkin OpenSkinResource(HINSTANCE instance, int id) {
    OpenedSkin opened;
    opened.instance = instance;
    opened.id = id;
    // The resource is stored under Chinese (PRC); FindResource falls back to any language.
    HRSRC res = FindResourceExW(instance, L"ZIPRES", MAKEINTRESOURCEW(id), MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    if (!res) res = FindResourceW(instance, MAKEINTRESOURCEW(id), L"ZIPRES");
    if (!res) return opened;
    DWORD size = SizeofResource(instance, res);
    HGLOBAL global = LoadResource(instance, res);
    const void* data = global ? LockResource(global) : nullptr;
    if (!data || size == 0) return opened;
    opened.found = true;
    opened.archive = SkinArchive::Open(std::string(static_cast<const char*>(data), size), &opened.error);
    return opened;
}

// The skin read on a worker while the first window is being made.
struct SkinPreload {
    std::unique_ptr<Utils::Thread> worker;
    OpenedSkin result;
};
SkinPreload g_preload;

// Waits for the worker, if one was started, and takes what it read (nothing
// when there was no worker).
OpenedSkin JoinPreload() {
    if (!g_preload.worker) return {};
    g_preload.worker->Join();
    g_preload.worker.reset();
    return std::exchange(g_preload.result, OpenedSkin{});
}

// The preloaded skin for (instance, id), when one was asked for; waits for it.
bool TakePreloadedSkin(HINSTANCE instance, int id, OpenedSkin& out) {
    OpenedSkin result = JoinPreload();
    if (!result.instance || result.instance != instance || result.id != id) return false;
    out = std::move(result);
    return true;
}

}  // namespace

// COM on the window thread, for handing the accessible objects to clients.
bool g_comStarted = false;

void StartComForAccessibility() {
    static bool tried = false;
    if (tried) return;
    tried = true;
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    g_comStarted = hr == S_OK || hr == S_FALSE;  // either way one CoUninitialize is owed
}

void InitializeToolkit(HINSTANCE instance) {
    if (g_initialized) return;
    g_initialized = true;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&g_gdiplusToken, &input, nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    CWindowShadow::RegisterWindowClass(instance);
    SetRelayoutAllHandler(&RelayoutEverything);
}

void ShutdownToolkit() {
    JoinPreload();  // asked for and never used
    if (!g_initialized) return;
    render::ClearImageCache();
    Gdiplus::GdiplusShutdown(g_gdiplusToken);
    if (g_comStarted) CoUninitialize();
    g_comStarted = false;
    g_initialized = false;
}

void PreloadSkinResource(HINSTANCE instance, int id) {
    if (GetSkinArchive() || g_preload.worker) return;
    g_preload.worker = std::make_unique<Utils::Thread>(nullptr, L"SkinLoad", [instance, id](void*) {
        g_preload.result = OpenSkinResource(instance, id);
        // Decoding the archive's one solid block is most of the work: done here
        // too, so that the window's first file is read from the decoded block.
        if (SkinArchive* archive = g_preload.result.archive.get(); archive && !archive->Names().empty()) {
            std::string first;
            archive->ReadFile(archive->Names().front(), first);
        }
        return 0u;
    });
    if (!g_preload.worker->Start()) g_preload.worker.reset();  // read when the window asks for it
}

bool LoadSkinResource(HINSTANCE instance, int id) {
    if (GetSkinArchive()) return true;
    OpenedSkin opened;
    if (!TakePreloadedSkin(instance, id, opened)) opened = OpenSkinResource(instance, id);
    if (!opened.found) return false;
    if (!opened.archive) {
        DEBUG_LOG(L"skin resource %d: %ls\r\n", id, opened.error.c_str());
        g_skinUnusable = true;
        return false;
    }
    SetSkinArchive(std::shared_ptr<SkinArchive>(std::move(opened.archive)));
    return true;
}

size_t DecodedImageBytes() { return render::ImageCacheBytes(); }

// ---------------------------------------------------------------- WindowImpl

WindowImpl::WindowImpl() = default;

WindowImpl::~WindowImpl() {
    if (m_hwnd && IsWindow(m_hwnd)) DestroyWindow(m_hwnd);
    m_root.reset();
    if (m_editBrush) DeleteObject(m_editBrush);
}

WindowImpl* WindowImpl::FromHandle(HWND hwnd) {
    if (!hwnd) return nullptr;
    for (auto* w : g_windows)
        if (w->m_hwnd == hwnd) return w;
    return nullptr;
}

std::unique_ptr<Control> WindowImpl::CreateControl(std::wstring_view) { return nullptr; }

bool WindowImpl::GetSkinMarkup(std::string& markup) {
    auto archive = GetSkinArchive();
    return archive && archive->ReadFile(GetSkinFile(), markup);
}

HWND WindowImpl::Create(HWND owner, const wchar_t* title, DWORD style, DWORD exStyle, int x, int y, int width,
                        int height) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    InitializeToolkit(instance);
    const std::wstring className = GetWindowClassName();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, className.c_str(), &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &WindowImpl::StaticProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = className.c_str();
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(145));
        RegisterClassExW(&wc);
    }
    return CreateWindowExW(exStyle, className.c_str(), title, style, x, y, width, height, owner, nullptr, instance,
                           this);
}

void WindowImpl::Close(int code) {
    if (m_hwnd && IsWindow(m_hwnd)) PostMessageW(m_hwnd, WM_CLOSE, static_cast<WPARAM>(code), 0);
}

void WindowImpl::CenterWindow() {
    if (!m_hwnd) return;
    RECT rc;
    GetWindowRect(m_hwnd, &rc);
    RECT area;
    HWND owner = GetWindow(m_hwnd, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        GetMonitorInfoW(MonitorFromWindow(m_hwnd, MONITOR_DEFAULTTONEAREST), &mi);
        area = mi.rcWork;
    }
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    int x = area.left + (area.right - area.left - w) / 2;
    int y = area.top + (area.bottom - area.top - h) / 2;
    SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowImpl::ShowWindow(bool show, bool activate) {
    if (m_hwnd) ::ShowWindow(m_hwnd, show ? (activate ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

Control* WindowImpl::FindControl(std::wstring_view name) const {
    return m_root ? m_root->FindByName(name) : nullptr;
}

HFONT WindowImpl::GetFont(int id) const { return m_fonts.Get(id); }

void WindowImpl::SetShadow(std::unique_ptr<CWindowShadow> shadow) { m_shadow = std::move(shadow); }

void WindowImpl::Relayout() {
    m_layoutPending = true;
    if (m_hwnd) InvalidateRect(m_hwnd, nullptr, FALSE);
}

void WindowImpl::RefreshLanguageTexts() {
    ForEachControl(m_root.get(), [](Control* c) { c->ApplyLanguageTexts(); });
    for (auto& [control, layoutWidth] : m_autoWidths) {
        auto* label = control->As<Label>();
        const Rect& padding = label->LayoutTextPadding();
        const int needed = MeasureTextWidth(control, control->Text()) + padding.left + padding.right;
        control->SetFixedWidth(std::max(layoutWidth, needed));
    }
}

void WindowImpl::EnsureLayout() {
    if (m_layoutPending && m_hwnd) DoLayout();
}

void WindowImpl::Invalidate(const Rect& rect) {
    if (!m_hwnd || rect.Empty()) return;
    RECT rc{rect.left, rect.top, rect.right, rect.bottom};
    InvalidateRect(m_hwnd, &rc, FALSE);
}

void WindowImpl::NeedLayout() { Relayout(); }

bool WindowImpl::SetTimer(Control* control, unsigned id, unsigned elapseMs) {
    if (!m_hwnd || !control) return false;
    unsigned platformId = m_timers.Add(control, id);
    // Windows clamps longer periods to USER_TIMER_MAXIMUM (about 24.8 days);
    // clamp here as well, because Wine takes a period of 2^31 or more as
    // negative and fires the timer at once.
    if (elapseMs > USER_TIMER_MAXIMUM) elapseMs = USER_TIMER_MAXIMUM;
    return ::SetTimer(m_hwnd, platformId, elapseMs, nullptr) != 0;
}

bool WindowImpl::KillTimer(Control* control, unsigned id) {
    unsigned platformId = 0;
    if (!m_timers.Remove(control, id, platformId)) return false;
    if (m_hwnd) ::KillTimer(m_hwnd, platformId);
    return true;
}

void WindowImpl::SendNotify(Control* sender, std::wstring_view type, intptr_t wParam, intptr_t lParam, bool queued) {
    Notification n{std::wstring(type), sender, wParam, lParam};
    if (!queued) {
        Deliver(n);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queue.Push(std::move(n));
    }
    HWND target = m_postTarget.load();
    if (target && !m_drainPosted.exchange(true)) PostMessageW(target, kMsgDrainNotify, 0, 0);
}

void WindowImpl::DrainNotifications() {
    m_drainPosted = false;
    for (;;) {
        Notification n;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (!m_queue.Pop(n)) break;
        }
        Deliver(n);
    }
}

void WindowImpl::Deliver(const Notification& n) { Notify(n); }

void WindowImpl::Notify(const Notification& n) {
    if (n.type != L"click" || !n.sender) return;
    const std::wstring& name = n.sender->Name();
    if (name == L"closebtn") Close(IDOK);
    else if (name == L"minbtn") SendMessageW(m_hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

int WindowImpl::MeasureTextWidth(const Control* control, std::wstring_view text) {
    if (!m_hwnd) return 0;
    const Label* label = control ? const_cast<Control*>(control)->As<Label>() : nullptr;
    HDC dc = GetDC(m_hwnd);
    HGDIOBJ old = SelectObject(dc, GetFont(label ? label->Font() : -1));
    RECT rc{0, 0, 9999, 9999};
    UINT flags = label ? render::TextFlags(label->TextStyle()) : DT_SINGLELINE;
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rc, (flags & ~(DT_END_ELLIPSIS | DT_WORDBREAK)) | DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(m_hwnd, dc);
    // In layout units (rounded up), like the widths it is used to set.
    const int device = rc.right - rc.left;
    return m_dpi == 96 ? device : (device * 96 + static_cast<int>(m_dpi) - 1) / static_cast<int>(m_dpi);
}

void WindowImpl::ForgetControl(Control* control) {
    for (unsigned id : m_timers.RemoveControl(control))
        if (m_hwnd) ::KillTimer(m_hwnd, id);
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queue.RemoveSender(control);
    }
    if (m_hot == control) m_hot = nullptr;
    if (m_pressed == control) m_pressed = nullptr;
    if (m_focus == control) m_focus = nullptr;
    if (m_editing == control) EndEdit(false);
}

void WindowImpl::ControlRemoved(Control* control) {
    ForEachControl(control, [&](Control* c) { ForgetControl(c); });
}

bool WindowImpl::OnCloseRequest(int) { return true; }

std::wstring WindowImpl::AccessibleTitle() const {
    if (!m_hwnd) return L"";
    const int len = GetWindowTextLengthW(m_hwnd);
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    GetWindowTextW(m_hwnd, text.data(), len + 1);
    text.resize(static_cast<size_t>(len));
    return text;
}

void WindowImpl::ControlChanged(Control* control, Change what) {
    if (!m_hwnd || !control) return;
    const LONG child = AccessibleChildId(*this, control);
    if (child == CHILDID_SELF) return;
    DWORD event = EVENT_OBJECT_STATECHANGE;
    if (what == Change::Name) event = EVENT_OBJECT_NAMECHANGE;
    else if (what == Change::Value) event = EVENT_OBJECT_VALUECHANGE;
    NotifyWinEvent(event, m_hwnd, OBJID_CLIENT, child);
}

LRESULT WindowImpl::HandleMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

// ---------------------------------------------------------------- building

bool WindowImpl::BuildSkin() {
    LoadSkinResource(GetModuleHandleW(nullptr), GetSkinResourceId());
    std::string markup;
    if (!GetSkinMarkup(markup)) {
        // Without the resource the window stays empty; a missing layout, or a
        // resource that is not a readable archive, is fatal.
        return !GetSkinArchive() && !g_skinUnusable;
    }
    LayoutDocument doc;
    std::wstring error;
    if (!BuildLayout(markup, [this](std::wstring_view e) { return CreateControl(e); }, doc, &error)) {
        DEBUG_LOG(L"layout %ls: %ls\r\n", GetSkinFile().c_str(), error.c_str());
        return false;
    }
    m_spec = std::move(doc.window);
    m_root = std::move(doc.root);
    if (const std::wstring* v = m_spec.Attribute(L"focuscolor")) ParseColor(*v, m_focusColor);
    // A dialog takes its owner's DPI (it is shown over the owner); a window of
    // its own the DPI of the monitor it is created on.
    HWND owner = GetWindow(m_hwnd, GW_OWNER);
    m_dpi = WindowDpi(owner ? owner : m_hwnd);
    CreateFonts();
    m_root->SetHost(this, nullptr);
    ForEachControl(m_root.get(), [this](Control* c) {
        c->Init();
        if (auto* label = c->As<Label>(); label && label->AutoWidth()) m_autoWidths.emplace_back(c, c->LayoutFixedWidth());
    });
    // The pages' visibility is set by now: the images of the page shown first
    // are decoded while the window is made.
    render::DecodeAhead(*m_root);
    RefreshLanguageTexts();
    if (m_spec.size.cx > 0 && m_spec.size.cy > 0)
        SetWindowPos(m_hwnd, nullptr, 0, 0, Scale(m_spec.size.cx), Scale(m_spec.size.cy),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void WindowImpl::CreateFonts() {
    // The skin's sizes are pixels at 96 DPI: the fonts are made for the window's DPI.
    m_fonts.Build(m_spec.fonts, m_spec.Font(-1), [this](int size) { return Scale(size); });
}

UINT WindowImpl::WindowDpi(HWND hwnd) {
    // GetDpiForWindow exists from Windows 10 1607 on; before, the system DPI.
    using ForWindow = UINT(WINAPI*)(HWND);
    static const auto forWindow = reinterpret_cast<ForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (forWindow && hwnd)
        if (UINT dpi = forWindow(hwnd)) return dpi;
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int WindowImpl::Scale(int v) const { return m_dpi == 96 ? v : MulDiv(v, static_cast<int>(m_dpi), 96); }

void WindowImpl::OnDpiChanged(UINT dpi, const RECT* suggested) {
    if (dpi == 0 || dpi == m_dpi) return;
    EndEdit(true);
    m_dpi = dpi;
    m_regionSize = SIZE{0, 0};  // the corners are rounded for the new DPI
    CreateFonts();
    RefreshLanguageTexts();  // the widened labels are measured again
    if (suggested)
        SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    DpiChanged();
    Relayout();
}

// ---------------------------------------------------------------- painting

void WindowImpl::DoLayout() {
    m_layoutPending = false;
    if (!m_root) return;
    RECT rc;
    GetClientRect(m_hwnd, &rc);
    m_layoutSize = SIZE{rc.right, rc.bottom};
    m_root->SetPos(Rect{0, 0, rc.right, rc.bottom});
    // Hover may now belong to another control.
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(m_hwnd, &pt);
    if (m_hot && !m_hot->IsVisible()) {
        m_hot->SetHot(false);
        m_hot = nullptr;
    }
}

void WindowImpl::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    if (m_layoutPending) {
        DoLayout();
        ps.rcPaint = RECT{};
        GetClientRect(m_hwnd, &ps.rcPaint);
    }
    RECT client;
    GetClientRect(m_hwnd, &client);
    const int w = client.right, h = client.bottom;
    if (w > 0 && h > 0) {
        Dib32 dib(dc, w, h);
        if (dib.Valid()) {
            {
                Gdiplus::Graphics g(dib.Dc());
                g.Clear(Gdiplus::Color(255, 255, 255, 255));
                if (m_root) {
                    Rect dirty{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom};
                    render::DrawTree(g, *m_root, dirty, render::DrawStyle{m_fonts, m_focusCue, m_focusColor});
                }
            }
            BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                   ps.rcPaint.bottom - ps.rcPaint.top, dib.Dc(), ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
        }
    }
    EndPaint(m_hwnd, &ps);
    if (m_paintObserver) m_paintObserver(m_hwnd, ps.rcPaint, client);
}

// ---------------------------------------------------------------- mouse and focus

Control* WindowImpl::InteractiveAt(int x, int y) {
    EnsureLayout();
    if (!m_root) return nullptr;
    Control* c = m_root->FindAt(x, y);
    while (c && !c->IsInteractive()) c = c->Parent();
    return c;
}

void WindowImpl::OnMouseMove(int x, int y) {
    if (!m_tracking) {
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, m_hwnd, 0};
        m_tracking = TrackMouseEvent(&tme) != FALSE;
    }
    Control* over = InteractiveAt(x, y);
    if (over && !over->IsEnabled()) over = nullptr;
    if (m_pressed) {
        m_pressed->SetPushed(over == m_pressed);
        return;
    }
    if (over == m_hot) return;
    if (m_hot) m_hot->SetHot(false);
    m_hot = over;
    if (m_hot) m_hot->SetHot(true);
}

void WindowImpl::OnButtonDown(int x, int y) {
    Control* c = InteractiveAt(x, y);
    if (!c || !c->IsEnabled()) {
        SetFocusControl(nullptr);
        return;
    }
    SetFocusControl(c);
    if (c->As<Edit>()) {
        BeginEdit(c);
        return;
    }
    m_pressed = c;
    c->SetPushed(true);
    SetCapture(m_hwnd);
}

void WindowImpl::OnButtonUp(int x, int y) {
    Control* pressed = m_pressed;
    m_pressed = nullptr;
    if (GetCapture() == m_hwnd) ReleaseCapture();
    if (!pressed) return;
    pressed->SetPushed(false);
    if (InteractiveAt(x, y) == pressed) pressed->Activate();
}

void WindowImpl::SetFocusControl(Control* control) {
    if (control == m_focus) return;
    if (m_editing && control != m_editing) EndEdit(true);
    if (m_focus) m_focus->SetFocused(false);
    m_focus = control;
    if (m_focus) m_focus->SetFocused(true);
    if (m_hwnd && GetFocus() != m_hwnd && !m_editing) SetFocus(m_hwnd);
    if (m_hwnd && m_focus) {
        const LONG child = AccessibleChildId(*this, m_focus);
        if (child != CHILDID_SELF) NotifyWinEvent(EVENT_OBJECT_FOCUS, m_hwnd, OBJID_CLIENT, child);
    }
}

bool WindowImpl::IsShown(const Control* control) {
    for (const Control* c = control; c; c = c->Parent())
        if (!c->IsVisible()) return false;
    return control != nullptr;
}

std::vector<Control*> WindowImpl::FocusOrder() const {
    std::vector<Control*> order;
    // Depth-first over shown controls: the layouts are written top to bottom,
    // left to right, so this is the reading order.
    auto visit = [&](auto&& self, Control* c) -> void {
        if (!c || !c->IsVisible()) return;
        if (c->IsInteractive() && c->IsEnabled()) order.push_back(c);
        if (auto* box = c->As<Container>())
            for (size_t i = 0; i < box->Count(); ++i) self(self, box->ChildAt(i));
    };
    visit(visit, m_root.get());
    return order;
}

void WindowImpl::MoveFocus(bool forward) {
    EnsureLayout();
    ShowFocusCue();
    const std::vector<Control*> order = FocusOrder();
    if (order.empty()) {
        SetFocusControl(nullptr);  // a hidden control keeps no focus
        return;
    }
    auto it = std::find(order.begin(), order.end(), m_focus);
    Control* next;
    if (it == order.end()) next = forward ? order.front() : order.back();
    else if (forward) next = (it + 1 == order.end()) ? order.front() : *(it + 1);
    else next = (it == order.begin()) ? order.back() : *(it - 1);
    SetFocusControl(next);
    if (next->As<Edit>()) BeginEdit(next);
}

void WindowImpl::ShowFocusCue() {
    if (m_focusCue) return;
    m_focusCue = true;
    if (m_focus) m_focus->Invalidate();
}

// ---------------------------------------------------------------- the platform edit box

void WindowImpl::BeginEdit(Control* control) {
    auto* edit = control->As<Edit>();
    if (!edit || m_editing == control) return;
    EndEdit(true);
    const Rect& r = edit->GetPos();
    const Rect& tp = edit->TextPadding();
    HFONT font = GetFont(edit->Font());
    // Vertically centred single line of the font's height.
    HDC dc = GetDC(m_hwnd);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(m_hwnd, dc);
    const int left = r.left + tp.left, right = r.right - tp.right;
    const int height = tm.tmHeight + 2;
    const int top = r.top + (r.Height() - height) / 2;
    m_editHwnd = CreateWindowExW(0, L"EDIT", edit->Text().c_str(),
                                 WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | (edit->IsReadOnly() ? ES_READONLY : 0),
                                 left, top, std::max(right - left, 1), height, m_hwnd, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (!m_editHwnd) return;
    m_editing = control;
    SendMessageW(m_editHwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(m_editHwnd, EM_LIMITTEXT, static_cast<WPARAM>(edit->MaxChars()), 0);
    SetWindowSubclass(m_editHwnd, &WindowImpl::EditProc, 1, reinterpret_cast<DWORD_PTR>(this));
    SetFocus(m_editHwnd);
    SendMessageW(m_editHwnd, EM_SETSEL, 0, -1);
}

void WindowImpl::EndEdit(bool keep) {
    if (!m_editing) return;
    Control* edit = m_editing;
    HWND box = m_editHwnd;
    m_editing = nullptr;
    m_editHwnd = nullptr;
    if (box) {
        if (keep) {
            int len = GetWindowTextLengthW(box);
            std::wstring text(static_cast<size_t>(len) + 1, L'\0');
            GetWindowTextW(box, text.data(), len + 1);
            text.resize(static_cast<size_t>(len));
            edit->SetText(text);
        }
        RemoveWindowSubclass(box, &WindowImpl::EditProc, 1);
        DestroyWindow(box);
    }
    edit->Invalidate();
}

LRESULT CALLBACK WindowImpl::EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* self = reinterpret_cast<WindowImpl*>(ref);
    switch (msg) {
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE) return 0;  // swallowed, like everywhere in a skinned window
            if (wp == VK_RETURN) {
                PostMessageW(self->m_hwnd, WM_APP + 0x3A2, 1, 0);
                return 0;
            }
            if (wp == VK_TAB) {
                PostMessageW(self->m_hwnd, WM_APP + 0x3A2, GetKeyState(VK_SHIFT) < 0 ? 3 : 2, 0);
                return 0;
            }
            break;
        case WM_CHAR:
            if (wp == VK_ESCAPE || wp == VK_RETURN || wp == VK_TAB) return 0;
            break;
        case WM_KILLFOCUS:
            PostMessageW(self->m_hwnd, WM_APP + 0x3A2, 0, 0);
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

// ---------------------------------------------------------------- the window procedure

LRESULT CALLBACK WindowImpl::StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WindowImpl* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<WindowImpl*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->m_hwnd = hwnd;
        self->m_postTarget = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        g_windows.push_back(self);
    } else {
        self = reinterpret_cast<WindowImpl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        LRESULT r = DefWindowProcW(hwnd, msg, wp, lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_postTarget = nullptr;
        g_windows.erase(std::remove(g_windows.begin(), g_windows.end(), self), g_windows.end());
        self->m_hwnd = nullptr;
        self->OnFinalMessage();
        return r;
    }
    return self->Proc(msg, wp, lp);
}

LRESULT WindowImpl::Proc(UINT msg, WPARAM wp, LPARAM lp) {
    bool handled = false;
    LRESULT result = HandleMessage(msg, wp, lp, handled);
    if (handled) return result;
    if (m_shadow) m_shadow->OnParentMessage(msg, wp, lp);
    switch (msg) {
        case WM_CREATE:
            if (!BuildSkin()) {
                MessageBoxW(nullptr, L"加载资源文件失败", L"Velqor", MB_OK | MB_ICONERROR);
                ExitProcess(1);
            }
            InitWindow();
            // A layout may name the control that starts with the keyboard focus
            // (a dialog's default button); the window is not shown yet, so only
            // the control's state is set here.
            if (const std::wstring* name = m_spec.Attribute(L"defaultbutton"); name && !m_focus) {
                if (Control* c = FindControl(*name); c && c->IsInteractive()) {
                    m_focus = c;
                    c->SetFocused(true);
                }
            }
            return 0;
        case WM_NCCALCSIZE:
            return 0;  // the whole window is client area
        case WM_NCACTIVATE:
            return IsIconic(m_hwnd) ? DefWindowProcW(m_hwnd, msg, wp, lp) : TRUE;
        case WM_NCPAINT:
            return 0;
        case WM_NCHITTEST: {
            POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            ScreenToClient(m_hwnd, &pt);
            RECT rc;
            GetClientRect(m_hwnd, &rc);
            const Rect cap{Scale(m_spec.caption.left), Scale(m_spec.caption.top), Scale(m_spec.caption.right),
                           Scale(m_spec.caption.bottom)};
            EnsureLayout();
            if (pt.x >= rc.left + cap.left && pt.x < rc.right - cap.right && pt.y >= cap.top && pt.y < cap.bottom) {
                Control* c = m_root ? m_root->FindAt(pt.x, pt.y) : nullptr;
                if (!c || (!c->As<Button>() && !c->GetInterface(L"Option") && c->GetClass() != L"Text"))
                    return HTCAPTION;
            }
            return HTCLIENT;
        }
        case WM_SIZE:
            if (m_spec.roundCorner.cx > 0 || m_spec.roundCorner.cy > 0) {
                RECT rc;
                GetWindowRect(m_hwnd, &rc);
                const SIZE size{rc.right - rc.left, rc.bottom - rc.top};
                // A window is told its size more than once while it is created
                // and shown: the region is made again only for another size.
                if (size.cx != m_regionSize.cx || size.cy != m_regionSize.cy) {
                    HRGN rgn = CreateRoundRectRgn(0, 0, size.cx + 1, size.cy + 1, Scale(m_spec.roundCorner.cx),
                                                  Scale(m_spec.roundCorner.cy));
                    if (SetWindowRgn(m_hwnd, rgn, TRUE)) m_regionSize = size;  // the system owns the region now
                    else DeleteObject(rgn);
                }
            }
            // The size is told again when the window is shown: laid out again
            // only for another size or when a layout is due anyway.
            if (RECT rc; !m_layoutPending && GetClientRect(m_hwnd, &rc) && rc.right == m_layoutSize.cx &&
                         rc.bottom == m_layoutSize.cy)
                return 0;
            Relayout();
            DoLayout();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_DPICHANGED:
            OnDpiChanged(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
            return 0;
        case WM_PAINT:
            Paint();
            return 0;
        case WM_PRINTCLIENT:
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        case WM_MOUSELEAVE:
            m_tracking = false;
            if (m_hot && !m_pressed) {
                m_hot->SetHot(false);
                m_hot = nullptr;
            }
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            OnButtonDown(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        case WM_LBUTTONUP:
            OnButtonUp(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        case WM_CAPTURECHANGED:
            if (m_pressed && reinterpret_cast<HWND>(lp) != m_hwnd) {
                m_pressed->SetPushed(false);
                m_pressed = nullptr;
            }
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE) return 0;  // never closes a skinned window
            if (wp == VK_TAB) {
                MoveFocus(GetKeyState(VK_SHIFT) >= 0);
                return 0;
            }
            if (wp == VK_RETURN || wp == VK_SPACE) {
                // Held keys repeat: only the first press activates.
                const bool repeat = (lp & (1 << 30)) != 0;
                if (!repeat && m_focus && IsShown(m_focus) && m_focus->IsEnabled() && m_focus->IsInteractive()) {
                    ShowFocusCue();
                    m_focus->Activate();
                }
                return 0;
            }
            break;
        case WM_CHAR:
            if (wp == VK_ESCAPE || wp == VK_TAB || wp == VK_RETURN || wp == VK_SPACE) return 0;
            break;
        case WM_TIMER: {
            Control* control = nullptr;
            unsigned id = 0;
            if (m_timers.Lookup(static_cast<unsigned>(wp), control, id)) control->OnTimer(id);
            return 0;
        }
        case WM_CTLCOLOREDIT: {
            if (!m_editBrush) m_editBrush = CreateSolidBrush(RGB(255, 255, 255));
            HDC dc = reinterpret_cast<HDC>(wp);
            Label* label = m_editing ? m_editing->As<Label>() : nullptr;
            SetTextColor(dc, label ? ToColorRef(label->TextColor()) : RGB(0, 0, 0));
            SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(m_editBrush);
        }
        case WM_APP + 0x3A2: {
            // The edit box lost the focus (wp 0), Enter was pressed (wp 1), or
            // Tab / Shift+Tab (wp 2 / 3).
            if (!m_editing) return 0;
            if (wp == 1) {
                EndEdit(true);
                SetFocus(m_hwnd);
                return 0;
            }
            if (wp == 2 || wp == 3) {
                EndEdit(true);
                SetFocus(m_hwnd);
                MoveFocus(wp == 2);
                return 0;
            }
            HWND focus = GetFocus();
            if (focus == m_editHwnd) return 0;
            if (focus == m_hwnd) {
                SetFocus(m_editHwnd);  // the window's activation took it: the edit keeps the focus
                return 0;
            }
            EndEdit(true);  // the focus went to another window
            return 0;
        }
        case WM_SETFOCUS:
            if (m_editHwnd) SetFocus(m_editHwnd);
            return 0;
        case kMsgDrainNotify:
            DrainNotifications();
            return 0;
        case WM_GETOBJECT:
            if (static_cast<LONG>(lp) == OBJID_CLIENT && m_root) {
                StartComForAccessibility();
                if (!m_accessible) m_accessible = CreateAccessibleWindow(this);
                return LresultFromObject(kIidAccessible, wp, AsIAccessible(m_accessible));
            }
            break;
        case kMsgAccessibleAction: {
            // The control may have gone or been hidden since the request.
            Control* target = reinterpret_cast<Control*>(lp);
            for (Control* c : AccessibleControls(*this)) {
                if (c != target) continue;
                if (IsShown(c) && c->IsEnabled() && c->IsInteractive()) {
                    SetFocusControl(c);
                    c->Activate();
                }
                break;
            }
            return 0;
        }
        case WM_CLOSE:
            if (!OnCloseRequest(static_cast<int>(wp))) return 0;
            DestroyWindow(m_hwnd);
            return 0;
        case WM_DESTROY:
            EndEdit(false);
            for (auto* c = m_root.get(); c; c = nullptr) ControlRemoved(c);
            m_shadow.reset();
            DetachAccessibleWindow(m_accessible);
            m_accessible = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(m_hwnd, msg, wp, lp);
}

}  // namespace toolkit
