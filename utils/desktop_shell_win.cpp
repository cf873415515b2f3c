// The desktop shell's automation object, found the documented way: the
// ShellWindows collection (served by Explorer, out of process) gives the
// desktop's browser, its active view's background object is a
// IShellFolderViewDual, and that one's Application is the shell's
// IShellDispatch2, whose ShellExecute runs inside Explorer with the desktop
// user's rights.
#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>

#include "utils/desktop_shell.h"

namespace Utils {

namespace {

template <class T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p) p->Release();
    }
    T** Out() { return &p; }
    void** Void() { return reinterpret_cast<void**>(&p); }
};

struct Bstr {
    BSTR s;
    explicit Bstr(const std::wstring& text) : s(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(s); }
};

std::wstring Failed(const wchar_t* step, HRESULT hr) {
    wchar_t text[96];
    std::swprintf(text, 96, L"%ls: 0x%08lX", step, static_cast<unsigned long>(hr));
    return text;
}

bool Execute(const std::wstring& target, const std::wstring& folder, int show, std::wstring& why) {
    ComPtr<IShellWindows> windows;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.Void());
    if (FAILED(hr)) return why = Failed(L"ShellWindows", hr), false;
    VARIANT empty;
    ::VariantInit(&empty);
    long hwnd = 0;
    ComPtr<IDispatch> desktop;
    hr = windows.p->FindWindowSW(&empty, &empty, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, desktop.Out());
    if (hr != S_OK || !desktop.p) return why = Failed(L"FindWindowSW(desktop)", hr), false;
    ComPtr<IShellBrowser> browser;
    hr = ::IUnknown_QueryService(desktop.p, SID_STopLevelBrowser, IID_IShellBrowser, browser.Void());
    if (FAILED(hr)) return why = Failed(L"top-level browser", hr), false;
    ComPtr<IShellView> view;
    hr = browser.p->QueryActiveShellView(view.Out());
    if (FAILED(hr)) return why = Failed(L"active shell view", hr), false;
    ComPtr<IDispatch> background;
    hr = view.p->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.Void());
    if (FAILED(hr)) return why = Failed(L"view background", hr), false;
    ComPtr<IShellFolderViewDual> dual;
    hr = background.p->QueryInterface(IID_IShellFolderViewDual, dual.Void());
    if (FAILED(hr)) return why = Failed(L"IShellFolderViewDual", hr), false;
    ComPtr<IDispatch> application;
    hr = dual.p->get_Application(application.Out());
    if (FAILED(hr) || !application.p) return why = Failed(L"shell application", hr), false;
    ComPtr<IShellDispatch2> shell;
    hr = application.p->QueryInterface(IID_IShellDispatch2, shell.Void());
    if (FAILED(hr)) return why = Failed(L"IShellDispatch2", hr), false;

    Bstr file(target);
    Bstr dirText(folder);
    Bstr verb(L"open");
    VARIANT args, dir, operation, showValue;
    ::VariantInit(&args);
    ::VariantInit(&dir);
    if (!folder.empty()) {
        dir.vt = VT_BSTR;
        dir.bstrVal = dirText.s;
    }
    ::VariantInit(&operation);
    operation.vt = VT_BSTR;
    operation.bstrVal = verb.s;
    ::VariantInit(&showValue);
    showValue.vt = VT_I4;
    showValue.lVal = show;
    hr = shell.p->ShellExecute(file.s, args, dir, operation, showValue);
    if (FAILED(hr)) return why = Failed(L"IShellDispatch2::ShellExecute", hr), false;
    return true;
}

}  // namespace

bool OpenAsDesktopUser(const std::wstring& target, const std::wstring& folder, int show, std::wstring& why) {
    // The caller's thread may have COM already (in any apartment); it is
    // initialised here only when it has none.
    HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool ok = Execute(target, folder, show, why);
    if (SUCCEEDED(init)) ::CoUninitialize();
    return ok;
}

}  // namespace Utils
