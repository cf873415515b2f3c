#pragma once
// Reads a layout document of the skin markup: the root `Window` element with the
// window attributes, `Font` elements, and one root control whose children are
// built recursively. Element names and the window's and fonts' attribute names
// ignore letter case; control attribute names are exact.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/control.h"

namespace toolkit {

struct FontSpec {
    int id = 0;
    std::wstring name;  // at most 31 characters are kept
    int size = 12;      // character height in pixels (the font is made with -size)
    bool bold = false, underline = false, italic = false, isDefault = false;
};

struct WindowSpec {
    // Every attribute of the root element, names in lower case, in document order.
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    Size size;
    Rect caption;
    Size roundCorner;
    std::vector<FontSpec> fonts;
    // The attribute's value, or nullptr (`name` in any case).
    const std::wstring* Attribute(std::wstring_view name) const;
    // The font with this id, or the default font for -1 / an unknown id (nullptr when none).
    const FontSpec* Font(int id) const;
};

// Creates the control for an element name the program knows itself, or nullptr
// to let the toolkit build it.
using ControlFactory = std::function<std::unique_ptr<Control>(std::wstring_view element)>;

struct LayoutDocument {
    WindowSpec window;
    std::unique_ptr<Control> root;
};

// Builds a layout from UTF-8 markup. False (with a reason in `error`) when the
// text is not well-formed, the root is not `Window`, there is no root control,
// or the nesting is deeper than 64 levels. Unknown elements are skipped.
bool BuildLayout(std::string_view markup, const ControlFactory& custom, LayoutDocument& out, std::wstring* error);

// The toolkit's own control for an element name (any case), or nullptr.
std::unique_ptr<Control> CreateBuiltinControl(std::wstring_view element);

}  // namespace toolkit
