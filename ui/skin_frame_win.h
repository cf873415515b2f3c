#pragma once
// CSkinFrame: the base of every skinned window of the installer (the main
// window and the dialogs). It names the window's skin -- the 7z archive in the
// executable's "ZIPRES" resource 147 and a layout file in it -- builds the
// animation controls of the layouts, removes the caption and maximise box, and
// gives the window the drop shadow its layout asks for.
//
// A window derives from it, passes its layout file to the constructor and
// overrides the toolkit's hooks (see toolkit/window_win.h for the whole API):
//   InitWindow()  -- call CSkinFrame::InitWindow() first, then look up controls
//                    with FindControl / FindControlAs<T>(name);
//   Notify(n)     -- n.type "click", "selectchanged", "tabselect", "timer",
//                    "itemselect" or the window's own; call CSkinFrame::Notify(n)
//                    for the default handling ("closebtn" closes, "minbtn" minimises);
//   HandleMessage -- the window's own messages, before the toolkit sees them;
//   OnCloseRequest(code) -- return false to ignore a close request.
// Timers: SetTimer(control, id, ms) / KillTimer(control, id) -> "timer"
// notifications. Closing: Close(code) posts the request. Dialogs: ShowMessageDialog.
#include <memory>
#include <string>

#include "toolkit/shadow_win.h"
#include "toolkit/window_win.h"

class CSkinFrame : public toolkit::WindowImpl {
public:
    static constexpr int kResourceId = 147;  // the skin archive in the executable's resources

    explicit CSkinFrame(std::wstring layoutFile);
    ~CSkinFrame() override;

    int GetSkinResourceId() const override { return kResourceId; }
    std::wstring GetSkinFile() const override { return m_layoutFile; }
    // The layout file name up to its last "." ("MainWnd.xml" -> "MainWnd").
    std::wstring GetWindowClassName() const override;
    std::unique_ptr<toolkit::Control> CreateControl(std::wstring_view element) override;
    void InitWindow() override;

protected:
    void DpiChanged() override;

private:
    void SetupShadow();
    toolkit::ShadowParams ScaledShadowParams() const;
    std::wstring m_layoutFile;
    toolkit::ShadowParams m_shadowParams;  // as the layout gives them
};
