#pragma once
// The installer's dialogs: one class for all of them, the layout decides what
// it shows. Results: 0 okBtn, 1 cancelBtn or closed otherwise, 2 "closebtn".
#include <string>

#include "ui/skin_frame_win.h"

class CMessageBoxWnd : public CSkinFrame {
public:
    explicit CMessageBoxWnd(std::wstring layoutFile);
    void InitWindow() override;
    void Notify(const toolkit::Notification& n) override;
    int Result() const { return m_result; }
    // The dialog's caption as screen readers announce it.
    std::wstring AccessibleTitle() const override;
    toolkit::Control* TextLabel() const { return m_textLbl; }
    toolkit::Control* CaptionLabel() const { return m_captionLbl; }

private:
    int m_result = 1;
    toolkit::Control* m_okBtn = nullptr;
    toolkit::Control* m_cancelBtn = nullptr;
    toolkit::Control* m_textLbl = nullptr;
    toolkit::Control* m_captionLbl = nullptr;
};

// Shows the dialog built from `layoutFile` modally over `owner` (text and
// caption put into `textLbl` / `captionLbl` when given) and returns its result.
// The owner's messages keep being dispatched while the dialog is open.
int ShowMessageDialog(const std::wstring& layoutFile, HWND owner, const wchar_t* text = nullptr,
                      const wchar_t* caption = nullptr);
