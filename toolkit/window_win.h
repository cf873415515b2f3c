#pragma once
// The window implementation base of the skinned windows (Windows only).
//
// A window class derives from it (in this program through CSkinFrame, which
// supplies the skin identification and the drop shadow):
//
//   class CMyWnd : public CSkinFrame {
//   public:
//       CMyWnd() : CSkinFrame(L"MainWnd.xml") {}
//       void InitWindow() override {            // layout built, still inside creation
//           CSkinFrame::InitWindow();
//           m_ok = FindControlAs<toolkit::Button>(L"okBtn");
//       }
//       void Notify(const toolkit::Notification& n) override {
//           if (n.type == L"click" && n.sender == m_ok) { Close(0); return; }
//           if (n.type == L"timer" && n.sender == Root() && n.wParam == 10) { ... }
//           CSkinFrame::Notify(n);              // default: "closebtn" closes, "minbtn" minimises
//       }
//       LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;  // own messages first
//   };
//   CMyWnd w;
//   w.Create(nullptr, L"Velqor", 0x10CF0000, 0);  // builds the layout from the skin archive
//   w.CenterWindow();
//   ... message loop; the window is gone after Close(code) (posted) or the user closing it.
//
// Controls are found by name (FindControl / FindControlAs<T>); timers are set per
// (control, id) with SetTimer and arrive as "timer" notifications (sender = the
// control, wParam = id); RaiseNotify(control, type, param, queued) raises the
// window's own notifications immediately or queued on the window thread; a
// queued notification may be raised from any thread (a worker's result).
// Modal dialogs: ShowMessageDialog (ui/message_box_win.h).
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/archive.h"
#include "toolkit/control.h"
#include "toolkit/dispatch.h"
#include "toolkit/markup.h"
#include "toolkit/render_win.h"

namespace toolkit {

class CWindowShadow;
class AccessibleWindow;

// Starts GDI+ and registers the shadow window class (once; later calls do
// nothing). Called by the first window when the program did not call it.
void InitializeToolkit(HINSTANCE instance);
// Drops the decoded images and stops GDI+ (after the last window is gone).
void ShutdownToolkit();
// Loads the executable's "ZIPRES" resource `id` as the process-wide skin archive
// (once). False when the resource is missing, empty or not a 7z archive; in
// the last case building a window from the skin fails ("加载资源文件失败", exit 1).
bool LoadSkinResource(HINSTANCE instance, int id);
// Starts reading that resource on a worker thread ("SkinLoad"), for the first
// window to be made meanwhile: its LoadSkinResource then waits for the worker
// and takes what it read (without an archive loaded already; once).
void PreloadSkinResource(HINSTANCE instance, int id);
// Bytes held by the decoded images (measurement).
size_t DecodedImageBytes();

class WindowImpl : public Host {
public:
    WindowImpl();
    ~WindowImpl() override;
    WindowImpl(const WindowImpl&) = delete;
    WindowImpl& operator=(const WindowImpl&) = delete;

    // ---- identification, asked while the window is created
    virtual std::wstring GetSkinFile() const = 0;          // layout file in the skin archive
    virtual std::wstring GetWindowClassName() const = 0;   // platform window class
    virtual int GetSkinResourceId() const { return 147; }  // "ZIPRES" resource holding the archive
    // The layout markup; the default reads GetSkinFile() from the skin archive.
    virtual bool GetSkinMarkup(std::string& markup);
    // Custom-control builder: a control for an element the toolkit does not know.
    virtual std::unique_ptr<Control> CreateControl(std::wstring_view element);

    // ---- hooks
    virtual void InitWindow() {}                            // after the layout is built, inside creation
    virtual void Notify(const Notification& n);             // default click handling for "closebtn"/"minbtn"
    virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled);  // runs before the base
    virtual bool OnCloseRequest(int code);                  // WM_CLOSE: true lets the window close
    virtual void OnFinalMessage() {}                        // after WM_NCDESTROY
    virtual void DpiChanged() {}                            // after the window took a new DPI
    // The name screen readers announce for the window (default: its title).
    virtual std::wstring AccessibleTitle() const;

    // ---- operations
    HWND Create(HWND owner, const wchar_t* title, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int width = CW_USEDEFAULT, int height = CW_USEDEFAULT);
    HWND GetHWND() const { return m_hwnd; }
    operator HWND() const { return m_hwnd; }
    // Posts a close request carrying `code`.
    void Close(int code = IDOK);
    void CenterWindow();
    void ShowWindow(bool show = true, bool activate = true);
    Control* Root() const { return m_root.get(); }
    const WindowSpec& Spec() const { return m_spec; }
    bool HasLayout() const { return m_root != nullptr; }
    Control* FindControl(std::wstring_view name) const;
    template <class T> T* FindControlAs(std::wstring_view name) const {
        Control* c = FindControl(name);
        return c ? c->As<T>() : nullptr;
    }
    void RaiseNotify(Control* sender, std::wstring_view type, intptr_t param = 0, bool queued = false) {
        SendNotify(sender, type, param, 0, queued);
    }
    // Lays out and repaints the whole window (the layout itself runs at the
    // next paint, hit test or mouse message, or at EnsureLayout).
    void Relayout();
    // Puts the language table's texts into the controls that name text ids,
    // and widens the "autowidth" labels whose text no longer fits.
    void RefreshLanguageTexts();
    void EnsureLayout();
    HFONT GetFont(int id) const;
    // The window's DPI (96 = 100 %) and layout units scaled to it.
    UINT Dpi() const { return m_dpi; }
    int Scale(int v) const override;
    static UINT WindowDpi(HWND hwnd);
    // Gives `control` the keyboard focus (nullptr: none).
    void SetFocusControl(Control* control);
    Control* FocusControl() const { return m_focus; }
    // The controls Tab visits, in reading order: interactive, enabled and shown
    // (the control and all its parents visible).
    std::vector<Control*> FocusOrder() const;
    // Tab / Shift+Tab: the next or previous control of FocusOrder, wrapping around.
    void MoveFocus(bool forward);
    // The focus cue is drawn only once the keyboard has been used in the window,
    // so that a mouse user sees the window as designed.
    bool ShowsFocusCue() const { return m_focusCue; }
    Color FocusCueColor() const { return m_focusColor; }
    static bool IsShown(const Control* control);
    CWindowShadow* Shadow() const { return m_shadow.get(); }
    void SetShadow(std::unique_ptr<CWindowShadow> shadow);

    static WindowImpl* FromHandle(HWND hwnd);

    // Told after every WM_PAINT which area was drawn, with the client area
    // (start-up measurement; nullptr, the default, tells nobody).
    using PaintObserver = void (*)(HWND hwnd, const RECT& painted, const RECT& client);
    void SetPaintObserver(PaintObserver observer) { m_paintObserver = observer; }

    // ---- Host
    void Invalidate(const Rect& rect) override;
    void NeedLayout() override;
    bool SetTimer(Control* control, unsigned id, unsigned elapseMs) override;
    bool KillTimer(Control* control, unsigned id) override;
    void SendNotify(Control* sender, std::wstring_view type, intptr_t wParam = 0, intptr_t lParam = 0,
                    bool queued = false) override;
    int MeasureTextWidth(const Control* control, std::wstring_view text) override;
    void ControlRemoved(Control* control) override;
    void ControlChanged(Control* control, Change what) override;

    // Posted by the accessible object's default action (lParam = the control).
    static constexpr UINT kMsgAccessibleAction = WM_APP + 0x3A3;

protected:
    static constexpr UINT kMsgDrainNotify = WM_APP + 0x3A1;

private:
    static LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Proc(UINT msg, WPARAM wp, LPARAM lp);
    bool BuildSkin();
    void Paint();
    void DoLayout();
    void DrainNotifications();
    void Deliver(const Notification& n);
    void OnMouseMove(int x, int y);
    void OnButtonDown(int x, int y);
    void OnButtonUp(int x, int y);
    Control* InteractiveAt(int x, int y);
    void ShowFocusCue();
    void CreateFonts();
    void OnDpiChanged(UINT dpi, const RECT* suggested);
    void BeginEdit(Control* edit);
    void EndEdit(bool keep);
    void ForgetControl(Control* control);
    static LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    HWND m_hwnd = nullptr;
    WindowSpec m_spec;
    std::unique_ptr<Control> m_root;
    render::FontTable m_fonts;       // the layout's fonts at the window's DPI
    TimerTable m_timers;
    std::mutex m_queueMutex;  // queued notifications may come from worker threads
    NotifyQueue m_queue;
    std::atomic<bool> m_drainPosted{false};
    std::atomic<HWND> m_postTarget{nullptr};
    bool m_layoutPending = true;
    SIZE m_layoutSize{-1, -1};  // the client size of the last layout
    bool m_tracking = false;
    Control* m_hot = nullptr;
    Control* m_pressed = nullptr;
    Control* m_focus = nullptr;
    Control* m_editing = nullptr;
    HWND m_editHwnd = nullptr;
    HBRUSH m_editBrush = nullptr;
    bool m_focusCue = false;
    UINT m_dpi = 96;
    Color m_focusColor = 0xFF2F6BFF;
    std::unique_ptr<CWindowShadow> m_shadow;
    AccessibleWindow* m_accessible = nullptr;  // created at the first WM_GETOBJECT
    std::vector<std::pair<Control*, int>> m_autoWidths;  // "autowidth" labels and their layout widths
    PaintObserver m_paintObserver = nullptr;
    SIZE m_regionSize{0, 0};  // the window size its rounded region was made for
};

}  // namespace toolkit
