#pragma once
// What a skinned window tells screen readers: the window answers WM_GETOBJECT
// with an IAccessible whose children (simple elements, ids 1..n) are the
// named controls of the shown part of the tree, in reading order, with their
// role, name, value, state, location and default action.
#include <windows.h>

#include <oleacc.h>

#include <vector>

namespace toolkit {

class Control;
class WindowImpl;

// IID_IAccessible. The import library's own symbol is data of oleacc.dll that
// MinGW links as a code thunk (without dllimport it names the thunk's bytes),
// so the toolkit and its tests use this copy.
inline constexpr GUID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The controls a window exposes, in reading order: labels and everything
// derived from them whose parents are all visible, when they can be used
// (buttons, check boxes, edits ...) or have a name (texts). A hidden control
// is listed with the invisible state. Child id = index + 1.
std::vector<Control*> AccessibleControls(const WindowImpl& window);
// The child id of `control` in AccessibleControls, or 0 (CHILDID_SELF) when it is not exposed.
LONG AccessibleChildId(const WindowImpl& window, const Control* control);

// Role, state and default action of one control (also used by tests).
LONG AccessibleRole(Control& control);
LONG AccessibleState(const WindowImpl& window, Control& control);

// Creates the accessible object of a window (reference count 1). Detach()
// cuts it from the window when the window goes; clients holding it then get
// RPC_E_DISCONNECTED.
class AccessibleWindow;
AccessibleWindow* CreateAccessibleWindow(WindowImpl* window);
IAccessible* AsIAccessible(AccessibleWindow* object);
void DetachAccessibleWindow(AccessibleWindow* object);  // and releases the window's reference

}  // namespace toolkit
