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
    // Called by the parent's window procedure for every message. Moves, size
    // changes and showing are followed once the messages already queued are
    // handled: a window that is sized, moved and shown in one go (as at its
    // creation) gets its shadow drawn once, not for every step.
    void OnParentMessage(UINT msg, WPARAM wp, LPARAM lp);
    // Redraws and places the shadow for the parent's current rectangle.
    void Update();

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    // Asks for one Follow() from the message loop (at most one is pending).
    void RequestFollow();
    // Places the shadow where the parent is now: only moved when its size is
    // the one drawn last, redrawn otherwise; hidden with a hidden parent.
    void Follow();
    // Raises the parent again where the platform stacked the shadow above it.
    void Restack();

    HWND m_parent = nullptr;
    HWND m_hwnd = nullptr;
    ShadowParams m_params;
    bool m_restacking = false;
    bool m_followPosted = false;
    SIZE m_drawn{0, 0};  // the size of the last drawn shadow (0 x 0: none yet)
};

}  // namespace toolkit
