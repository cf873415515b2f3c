#include "ui/message_box_win.h"

CMessageBoxWnd::CMessageBoxWnd(std::wstring layoutFile) : CSkinFrame(std::move(layoutFile)) {}

void CMessageBoxWnd::InitWindow() {
    CSkinFrame::InitWindow();
    HWND hwnd = GetHWND();
    LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    style = (style & ~static_cast<LONG_PTR>(WS_CAPTION | WS_MAXIMIZEBOX)) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    SetWindowLongPtrW(hwnd, GWL_STYLE, style);
    LONG_PTR ex = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ex & ~static_cast<LONG_PTR>(WS_EX_TOPMOST));
    m_okBtn = FindControl(L"okBtn");
    m_cancelBtn = FindControl(L"cancelBtn");
    m_textLbl = FindControl(L"textLbl");
    m_captionLbl = FindControl(L"captionLbl");
}

std::wstring CMessageBoxWnd::AccessibleTitle() const {
    if (m_captionLbl) return m_captionLbl->Text();
    // The dialogs without a caption label carry their title as the first text.
    std::wstring title;
    auto visit = [&](auto&& self, toolkit::Control* c) -> void {
        if (!c || !title.empty()) return;
        if (c->As<toolkit::Label>() && !c->As<toolkit::Button>() && !c->Text().empty()) {
            title = c->Text();
            return;
        }
        if (auto* box = c->As<toolkit::Container>())
            for (size_t i = 0; i < box->Count(); ++i) self(self, box->ChildAt(i));
    };
    visit(visit, Root());
    return title;
}

void CMessageBoxWnd::Notify(const toolkit::Notification& n) {
    if (n.type == L"click" && n.sender) {
        if (n.sender == m_okBtn) {
            m_result = 0;
            Close(0);
            return;
        }
        if (n.sender == m_cancelBtn) {
            m_result = 1;
            Close(1);
            return;
        }
        if (n.sender->As<toolkit::Button>()) {
            CSkinFrame::Notify(n);
            m_result = 2;
            return;
        }
    }
    CSkinFrame::Notify(n);
}

int ShowMessageDialog(const std::wstring& layoutFile, HWND owner, const wchar_t* text, const wchar_t* caption) {
    auto dialog = std::make_unique<CMessageBoxWnd>(layoutFile);
    HWND hwnd = dialog->Create(owner, L"消息框", 0x10CF0000, 0);
    if (!hwnd) return dialog->Result();
    if (text && dialog->TextLabel()) dialog->TextLabel()->SetText(text);
    if (caption && dialog->CaptionLabel()) dialog->CaptionLabel()->SetText(caption);
    dialog->CenterWindow();
    ShowWindow(hwnd, SW_SHOWNORMAL);
    if (owner) EnableWindow(owner, FALSE);

    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (IsWindow(hwnd)) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (msg.hwnd == hwnd && msg.message == WM_CLOSE && owner) {
            // Re-enabled before the dialog goes, so that the owner is activated again.
            EnableWindow(owner, TRUE);
            SetFocus(owner);
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (owner) {
        EnableWindow(owner, TRUE);
        SetFocus(owner);
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    const int result = dialog->Result();
    dialog.reset();
    return result;
}
