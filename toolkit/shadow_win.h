#pragma once
// The layered drop-shadow window drawn behind a skinned window (class
// "SkinShadowWnd"). It follows its window's moves, size changes and visibility.
#include <windows.h>

#include "toolkit/shadow.h"

namespace toolkit {

class CWindowShadow {
public:
    CWindowShadow();
    ~CWindowShadow();
    CWindowShadow(const CWindowShadow&) = delete;
    CWindowShadow& operator=(const CWindowShadow&) = delete;

    // Registers "SkinShadowWnd" once, only when the platform can update layered
    // windows; false otherwise (shadows are then not shown).
    static bool RegisterWindowClass(HINSTANCE instance);
    static bool IsAvailable();

    // Creates the shadow window for `parent`.
    bool Create(HWND parent);
    HWND GetHWND() const { return m_hwnd; }
    ShadowParams& Params() { return m_params; }
    // Called by the parent's window procedure for every message.
    void OnParentMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Redraws and places the shadow for the parent's current rectangle.
    void Update();

private:
    HWND m_parent = nullptr;
    HWND m_hwnd = nullptr;
    ShadowParams m_params;
    bool m_restacking = false;
};

}  // namespace toolkit
