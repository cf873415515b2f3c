#include "toolkit/accessible_win.h"

#include <oleauto.h>

#include <atomic>
#include <string>

#include "toolkit/archive.h"
#include "toolkit/window_win.h"

namespace toolkit {
namespace {

// Announced default actions; the language table may carry them.
std::wstring ActionText(const wchar_t* id, const wchar_t* fallback) {
    std::wstring text;
    return GetLanguageText(id, text) ? text : std::wstring(fallback);
}

HRESULT ToBstr(const std::wstring& text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool IsExposed(Control& c) {
    if (!c.As<Label>()) return false;
    return c.IsInteractive() || !c.AccessibleName().empty();
}

}  // namespace

std::vector<Control*> AccessibleControls(const WindowImpl& window) {
    std::vector<Control*> out;
    auto visit = [&](auto&& self, Control* c, bool parentsShown) -> void {
        if (!c || !parentsShown) return;
        if (IsExposed(*c)) out.push_back(c);
        if (auto* box = c->As<Container>())
            for (size_t i = 0; i < box->Count(); ++i) self(self, box->ChildAt(i), c->IsVisible());
    };
    visit(visit, window.Root(), true);
    return out;
}

LONG AccessibleChildId(const WindowImpl& window, const Control* control) {
    const std::vector<Control*> all = AccessibleControls(window);
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i] == control) return static_cast<LONG>(i + 1);
    return CHILDID_SELF;
}

LONG AccessibleRole(Control& c) {
    if (c.As<CheckBox>()) return ROLE_SYSTEM_CHECKBUTTON;
    if (c.As<Button>()) return ROLE_SYSTEM_PUSHBUTTON;
    if (c.As<Edit>()) return ROLE_SYSTEM_TEXT;
    if (c.As<Progress>()) return ROLE_SYSTEM_PROGRESSBAR;
    if (c.As<Combo>()) return ROLE_SYSTEM_COMBOBOX;
    return ROLE_SYSTEM_STATICTEXT;
}

LONG AccessibleState(const WindowImpl& window, Control& c) {
    LONG state = 0;
    if (!c.IsVisible()) state |= STATE_SYSTEM_INVISIBLE;
    if (!c.IsEnabled()) state |= STATE_SYSTEM_UNAVAILABLE;
    if (c.IsInteractive() && c.IsEnabled()) state |= STATE_SYSTEM_FOCUSABLE;
    if (window.FocusControl() == &c && GetFocus() == window.GetHWND()) state |= STATE_SYSTEM_FOCUSED;
    if (window.FocusControl() == &c && GetFocus() && GetParent(GetFocus()) == window.GetHWND())
        state |= STATE_SYSTEM_FOCUSED;  // the platform edit box has it
    if (c.IsHot()) state |= STATE_SYSTEM_HOTTRACKED;
    if (c.IsPushed()) state |= STATE_SYSTEM_PRESSED;
    if (auto* box = c.As<CheckBox>(); box && box->IsChecked()) state |= STATE_SYSTEM_CHECKED;
    if (!c.IsInteractive()) state |= STATE_SYSTEM_READONLY;
    if (auto* edit = c.As<Edit>(); edit && edit->IsReadOnly()) state |= STATE_SYSTEM_READONLY;
    return state;
}

// COM interfaces have no virtual destructor: the object deletes itself in Release.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class AccessibleWindow final : public IAccessible {
public:
    explicit AccessibleWindow(WindowImpl* window) : m_window(window) {}

    void Detach() { m_window = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidAccessible) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --m_refs;
        if (n == 0) delete this;
        return n;
    }

    // IDispatch: not offered (clients use the IAccessible methods directly).
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!m_window) return RPC_E_DISCONNECTED;
        // The frame around the client area, as the system describes it.
        return AccessibleObjectFromWindow(m_window->GetHWND(), static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                          reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
        if (!count) return E_POINTER;
        if (!m_window) return RPC_E_DISCONNECTED;
        *count = static_cast<long>(AccessibleControls(*m_window).size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!m_window) return RPC_E_DISCONNECTED;
        // Every child is a simple element of this object.
        return Lookup(child) ? S_FALSE : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!m_window) return RPC_E_DISCONNECTED;
        if (IsSelf(child)) return ToBstr(m_window->AccessibleTitle(), name);
        Control* c = Lookup(child);
        if (!c) return E_INVALIDARG;
        return ToBstr(c->AccessibleName(), name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!m_window) return RPC_E_DISCONNECTED;
        if (!value) return E_POINTER;
        *value = nullptr;
        Control* c = IsSelf(child) ? nullptr : Lookup(child);
        if (!c) return IsSelf(child) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
        if (auto* p = c->As<Progress>()) {
            const long long span = static_cast<long long>(p->Max()) - p->Min();
            const long long percent = span > 0 ? (static_cast<long long>(p->Value()) - p->Min()) * 100 / span : 0;
            return ToBstr(std::to_wstring(percent) + L"%", value);
        }
        if (c->As<Edit>() || c->As<Combo>()) return ToBstr(c->Text(), value);
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* out) override { return Nothing(out); }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        VariantInit(role);
        if (!m_window) return RPC_E_DISCONNECTED;
        role->vt = VT_I4;
        if (IsSelf(child)) {
            role->lVal = GetWindow(m_window->GetHWND(), GW_OWNER) ? ROLE_SYSTEM_DIALOG : ROLE_SYSTEM_CLIENT;
            return S_OK;
        }
        Control* c = Lookup(child);
        if (!c) {
            role->vt = VT_EMPTY;
            return E_INVALIDARG;
        }
        role->lVal = AccessibleRole(*c);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        VariantInit(state);
        if (!m_window) return RPC_E_DISCONNECTED;
        state->vt = VT_I4;
        if (IsSelf(child)) {
            HWND hwnd = m_window->GetHWND();
            LONG s = STATE_SYSTEM_FOCUSABLE;
            if (!IsWindowVisible(hwnd)) s |= STATE_SYSTEM_INVISIBLE;
            if (!IsWindowEnabled(hwnd)) s |= STATE_SYSTEM_UNAVAILABLE;
            if (GetFocus() == hwnd && !m_window->FocusControl()) s |= STATE_SYSTEM_FOCUSED;
            state->lVal = s;
            return S_OK;
        }
        Control* c = Lookup(child);
        if (!c) {
            state->vt = VT_EMPTY;
            return E_INVALIDARG;
        }
        state->lVal = AccessibleState(*m_window, *c);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override { return Nothing(out); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override { return Nothing(out); }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!focus) return E_POINTER;
        VariantInit(focus);
        if (!m_window) return RPC_E_DISCONNECTED;
        HWND hwnd = m_window->GetHWND();
        HWND owner = GetFocus();
        if (owner != hwnd && !(owner && GetParent(owner) == hwnd)) return S_FALSE;  // not in this window
        focus->vt = VT_I4;
        focus->lVal = AccessibleChildId(*m_window, m_window->FocusControl());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (selection) VariantInit(selection);
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (!m_window) return RPC_E_DISCONNECTED;
        if (!action) return E_POINTER;
        *action = nullptr;
        Control* c = IsSelf(child) ? nullptr : Lookup(child);
        if (!c) return IsSelf(child) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
        if (auto* box = c->As<CheckBox>())
            return ToBstr(box->IsChecked() ? ActionText(L"903", L"取消选中") : ActionText(L"902", L"选中"), action);
        if (c->As<Button>() || c->As<Combo>()) return ToBstr(ActionText(L"901", L"按下"), action);
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        if (!m_window) return RPC_E_DISCONNECTED;
        Control* c = IsSelf(child) ? nullptr : Lookup(child);
        if (!c) return E_INVALIDARG;
        if (!(flags & SELFLAG_TAKEFOCUS) || !c->IsInteractive() || !c->IsEnabled() || !WindowImpl::IsShown(c))
            return S_FALSE;
        m_window->SetFocusControl(c);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        *left = *top = *width = *height = 0;
        if (!m_window) return RPC_E_DISCONNECTED;
        HWND hwnd = m_window->GetHWND();
        RECT rc;
        if (IsSelf(child)) {
            GetClientRect(hwnd, &rc);
        } else {
            Control* c = Lookup(child);
            if (!c) return E_INVALIDARG;
            m_window->EnsureLayout();
            const Rect& r = c->GetPos();
            rc = RECT{r.left, r.top, r.right, r.bottom};
        }
        POINT origin{0, 0};
        ClientToScreen(hwnd, &origin);
        *left = rc.left + origin.x;
        *top = rc.top + origin.y;
        *width = rc.right - rc.left;
        *height = rc.bottom - rc.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* end) override {
        if (!end) return E_POINTER;
        VariantInit(end);
        if (!m_window) return RPC_E_DISCONNECTED;
        const long count = static_cast<long>(AccessibleControls(*m_window).size());
        long from = IsSelf(start) ? 0 : (Lookup(start) ? start.lVal : -1);
        if (from < 0) return E_INVALIDARG;
        long to = 0;
        switch (dir) {
            case NAVDIR_FIRSTCHILD: to = from == 0 ? 1 : 0; break;
            case NAVDIR_LASTCHILD: to = from == 0 ? count : 0; break;
            case NAVDIR_NEXT: to = from > 0 ? from + 1 : 0; break;
            case NAVDIR_PREVIOUS: to = from > 0 ? from - 1 : 0; break;
            default: return S_FALSE;  // spatial directions are not offered
        }
        if (to < 1 || to > count) return S_FALSE;
        end->vt = VT_I4;
        end->lVal = to;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* hit) override {
        if (!hit) return E_POINTER;
        VariantInit(hit);
        if (!m_window) return RPC_E_DISCONNECTED;
        HWND hwnd = m_window->GetHWND();
        POINT pt{x, y};
        ScreenToClient(hwnd, &pt);
        RECT rc;
        GetClientRect(hwnd, &rc);
        if (!PtInRect(&rc, pt)) return S_FALSE;
        m_window->EnsureLayout();
        const std::vector<Control*> all = AccessibleControls(*m_window);
        Control* c = m_window->Root() ? m_window->Root()->FindAt(pt.x, pt.y) : nullptr;
        hit->vt = VT_I4;
        hit->lVal = CHILDID_SELF;
        for (; c; c = c->Parent()) {
            for (size_t i = 0; i < all.size(); ++i)
                if (all[i] == c) {
                    hit->lVal = static_cast<LONG>(i + 1);
                    return S_OK;
                }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (!m_window) return RPC_E_DISCONNECTED;
        Control* c = IsSelf(child) ? nullptr : Lookup(child);
        if (!c) return IsSelf(child) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
        if (!c->IsInteractive() || c->As<Edit>()) return DISP_E_MEMBERNOTFOUND;
        // Carried out later on the window thread: a click may open a modal
        // dialog, which must not run inside the client's call.
        PostMessageW(m_window->GetHWND(), WindowImpl::kMsgAccessibleAction, 0, reinterpret_cast<LPARAM>(c));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    static bool IsSelf(const VARIANT& v) { return v.vt == VT_I4 && v.lVal == CHILDID_SELF; }
    Control* Lookup(const VARIANT& v) const {
        if (!m_window || v.vt != VT_I4 || v.lVal <= 0) return nullptr;
        const std::vector<Control*> all = AccessibleControls(*m_window);
        return static_cast<size_t>(v.lVal) <= all.size() ? all[static_cast<size_t>(v.lVal) - 1] : nullptr;
    }
    HRESULT Nothing(BSTR* out) {
        if (out) *out = nullptr;
        return m_window ? S_FALSE : RPC_E_DISCONNECTED;
    }

    std::atomic<ULONG> m_refs{1};
    WindowImpl* m_window;
};
#pragma GCC diagnostic pop

AccessibleWindow* CreateAccessibleWindow(WindowImpl* window) { return new AccessibleWindow(window); }

IAccessible* AsIAccessible(AccessibleWindow* object) { return object; }

void DetachAccessibleWindow(AccessibleWindow* object) {
    if (!object) return;
    object->Detach();
    object->Release();
}

}  // namespace toolkit
