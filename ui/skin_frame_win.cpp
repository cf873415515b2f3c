#include "ui/skin_frame_win.h"

#include "ui/sequence_controls.h"

CSkinFrame::CSkinFrame(std::wstring layoutFile) : m_layoutFile(std::move(layoutFile)) {}

CSkinFrame::~CSkinFrame() = default;

std::wstring CSkinFrame::GetWindowClassName() const {
    const size_t dot = m_layoutFile.rfind(L'.');
    return dot == std::wstring::npos ? m_layoutFile : m_layoutFile.substr(0, dot);
}

std::unique_ptr<toolkit::Control> CSkinFrame::CreateControl(std::wstring_view element) {
    return CreateSkinControl(element);
}

void CSkinFrame::InitWindow() {
    HWND hwnd = GetHWND();
    LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    style &= ~static_cast<LONG_PTR>(WS_CAPTION | WS_MAXIMIZEBOX);
    SetWindowLongPtrW(hwnd, GWL_STYLE, style);
    SetupShadow();
}

void CSkinFrame::SetupShadow() {
    if (!toolkit::ReadShadowAttributes(Spec(), m_shadowParams)) return;
    auto shadow = std::make_unique<toolkit::CWindowShadow>();
    shadow->Params() = ScaledShadowParams();
    if (!shadow->Create(GetHWND())) return;  // no layered windows: no shadow
    SetShadow(std::move(shadow));
}

toolkit::ShadowParams CSkinFrame::ScaledShadowParams() const {
    // The layout's reach and offset are 96-DPI pixels.
    toolkit::ShadowParams p = m_shadowParams;
    p.size = Scale(p.size);
    p.xOffset = Scale(p.xOffset);
    p.yOffset = Scale(p.yOffset);
    return p;
}

void CSkinFrame::DpiChanged() {
    if (!Shadow()) return;
    Shadow()->Params() = ScaledShadowParams();
    Shadow()->Update();
}
