#pragma once
// The control tree of a skinned window (portable part): controls, containers
// with the box layout, labels, buttons, check boxes, edits, progress bars and a
// minimal combo box. Attributes from the markup are bound through per-class
// tables (see SetAttribute). The window that owns the tree implements `Host`.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/values.h"

namespace toolkit {

class Control;

// What a control needs from its window.
class Host {
public:
    virtual ~Host() = default;
    virtual void Invalidate(const Rect& rect) = 0;
    virtual void NeedLayout() = 0;
    // Timers are identified by (control, id); the period is in milliseconds.
    virtual bool SetTimer(Control* control, unsigned id, unsigned elapseMs) = 0;
    virtual bool KillTimer(Control* control, unsigned id) = 0;
    // Raises a notification; `queued` delivers it later on the window thread.
    virtual void SendNotify(Control* sender, std::wstring_view type, intptr_t wParam = 0, intptr_t lParam = 0,
                            bool queued = false) = 0;
    // Width in pixels of `text` in the control's font and text style (0 when unknown).
    virtual int MeasureTextWidth(const Control* control, std::wstring_view text) = 0;
    // A control leaves the tree: forget its timers, hover/focus and queued notifications.
    virtual void ControlRemoved(Control* control) = 0;
    // Layout units (the skin's pixels at 96 DPI) to device pixels of the window.
    virtual int Scale(int v) const { return v; }
    // What changed about a control, for assistive technology (screen readers).
    enum class Change { Name, Value, State };
    virtual void ControlChanged(Control* /*control*/, Change /*what*/) {}
};

// Text style flags (independent of the platform's DT_* values).
enum TextStyle : unsigned {
    kTextLeft = 0x1, kTextCenter = 0x2, kTextRight = 0x4,
    kTextTop = 0x10, kTextVCenter = 0x20, kTextBottom = 0x40,
    kTextSingleLine = 0x100, kTextWordBreak = 0x200, kTextEndEllipsis = 0x400,
};
constexpr unsigned kTextHorzMask = kTextLeft | kTextCenter | kTextRight;
constexpr unsigned kTextVertMask = kTextTop | kTextVCenter | kTextBottom;

class Control {
public:
    Control();
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // Class name of the element ("Control", "Label", "Button" ...).
    virtual std::wstring_view GetClass() const { return L"Control"; }
    // Non-null when the control is of the named kind (its class or a base class).
    virtual void* GetInterface(std::wstring_view name);
    template <class T> T* As() { return static_cast<T*>(GetInterface(T::kClass)); }

    // Applies one markup attribute; unknown names are ignored. Names are exact.
    void SetAttribute(std::wstring_view name, std::wstring_view value);

    // Tree
    Control* Parent() const { return m_parent; }
    Host* GetHost() const { return m_host; }
    virtual void SetHost(Host* host, Control* parent);
    virtual Control* FindByName(std::wstring_view name);
    // Deepest visible control whose rectangle holds the point.
    virtual Control* FindAt(int x, int y);
    // Called once the whole tree exists and belongs to a window.
    virtual void Init() {}

    // Geometry. The rectangle is in device pixels; sizes, paddings and borders
    // are kept in layout units (the skin's 96-DPI pixels) and read in device
    // pixels, scaled by the window's DPI. Setters take layout units.
    const Rect& GetPos() const { return m_rect; }
    virtual void SetPos(const Rect& rect);
    int FixedWidth() const { return Scaled(m_fixedWidth); }
    int FixedHeight() const { return Scaled(m_fixedHeight); }
    int LayoutFixedWidth() const { return m_fixedWidth; }
    void SetFixedWidth(int w);
    void SetFixedHeight(int h);
    int MinWidth() const { return Scaled(m_minWidth); }
    int MaxWidth() const { return Scaled(m_maxWidth); }
    int MinHeight() const { return Scaled(m_minHeight); }
    int MaxHeight() const { return Scaled(m_maxHeight); }
    Rect Padding() const { return Scaled(m_padding); }
    int Scaled(int v) const { return m_host ? m_host->Scale(v) : v; }
    Rect Scaled(const Rect& r) const { return Rect{Scaled(r.left), Scaled(r.top), Scaled(r.right), Scaled(r.bottom)}; }

    // State
    const std::wstring& Name() const { return m_name; }
    void SetName(std::wstring_view name) { m_name = name; }
    const std::wstring& Text() const { return m_text; }
    virtual void SetText(std::wstring_view text);
    const std::wstring& UserData() const { return m_userData; }
    void SetUserData(std::wstring_view text) { m_userData = text; }
    // The name assistive technology announces: "accname" from the layout, or
    // the control's text.
    const std::wstring& AccessibleName() const { return m_accName.empty() ? m_text : m_accName; }
    // Language text ids from the layout ("textid", "userdataid", "accnameid"):
    // replaces the text, user data and accessible name with the current
    // language's texts where the language table has them. A text the program
    // set itself (SetText) is kept.
    void ApplyLanguageTexts();
    bool IsVisible() const { return m_visible; }
    virtual void SetVisible(bool visible);
    bool IsEnabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    bool IsHot() const { return m_hot; }
    bool IsPushed() const { return m_pushed; }
    bool IsFocused() const { return m_focused; }
    void SetHot(bool hot);
    void SetPushed(bool pushed);
    void SetFocused(bool focused);
    // Whether mouse clicks and hover go to this control.
    virtual bool IsInteractive() const { return false; }

    // Appearance
    Color BkColor() const { return m_bkColor; }
    void SetBkColor(Color c);
    const std::wstring& BkImage() const { return m_bkImage; }
    void SetBkImage(std::wstring_view image);
    int BorderSize() const { return Scaled(m_borderSize); }
    Color BorderColor() const { return m_borderColor; }
    Size BorderRound() const { return Size{Scaled(m_borderRound.cx), Scaled(m_borderRound.cy)}; }

    // Events
    // The control was clicked (mouse released over it, or the keyboard).
    virtual void Activate();
    // A timer of this control fired; the default raises the "timer" notification.
    virtual void OnTimer(unsigned id);

    void Invalidate();
    void NeedLayout();

    static constexpr std::wstring_view kClass = L"Control";

protected:
    // One entry of an attribute table.
    struct AttributeEntry {
        std::wstring_view name;
        void (*apply)(Control& self, std::wstring_view value);
    };
    // Each class answers with its own table first and then defers to its base.
    virtual bool ApplyAttribute(std::wstring_view name, std::wstring_view value);
    static bool ApplyFromTable(const AttributeEntry* begin, const AttributeEntry* end, Control& self,
                               std::wstring_view name, std::wstring_view value);

    Host* m_host = nullptr;
    Control* m_parent = nullptr;
    Rect m_rect;
    std::wstring m_name, m_text, m_userData, m_bkImage;
    std::wstring m_accName, m_textId, m_userDataId, m_accNameId;
    int m_fixedWidth = 0, m_fixedHeight = 0;
    int m_minWidth = 0, m_maxWidth = 9999, m_minHeight = 0, m_maxHeight = 9999;
    Rect m_padding;
    Color m_bkColor = 0;
    Color m_borderColor = 0;
    int m_borderSize = 0;
    Size m_borderRound;
    bool m_visible = true, m_enabled = true;
    bool m_hot = false, m_pushed = false, m_focused = false;
};

class Container : public Control {
public:
    ~Container() override;
    std::wstring_view GetClass() const override { return L"Container"; }
    void* GetInterface(std::wstring_view name) override;
    void Add(std::unique_ptr<Control> child);
    // Removes and destroys the child (the host forgets it first).
    void Remove(Control* child);
    size_t Count() const { return m_children.size(); }
    Control* ChildAt(size_t i) const { return i < m_children.size() ? m_children[i].get() : nullptr; }
    void SetHost(Host* host, Control* parent) override;
    Control* FindByName(std::wstring_view name) override;
    Control* FindAt(int x, int y) override;
    void SetPos(const Rect& rect) override;
    Rect Inset() const { return Scaled(m_inset); }
    int ChildPadding() const { return Scaled(m_childPadding); }

    static constexpr std::wstring_view kClass = L"Container";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    Rect InnerRect() const;
    std::vector<std::unique_ptr<Control>> m_children;
    Rect m_inset;
    int m_childPadding = 0;
};

// Children stacked top to bottom; HorizontalLayout is the same along x.
class VerticalLayout : public Container {
public:
    std::wstring_view GetClass() const override { return L"VerticalLayout"; }
    void* GetInterface(std::wstring_view name) override;
    void SetPos(const Rect& rect) override;
    static constexpr std::wstring_view kClass = L"VerticalLayout";
};

class HorizontalLayout : public Container {
public:
    std::wstring_view GetClass() const override { return L"HorizontalLayout"; }
    void* GetInterface(std::wstring_view name) override;
    void SetPos(const Rect& rect) override;
    static constexpr std::wstring_view kClass = L"HorizontalLayout";
};

// Shows exactly one child, the selected page.
class TabLayout : public Container {
public:
    std::wstring_view GetClass() const override { return L"TabLayout"; }
    void* GetInterface(std::wstring_view name) override;
    void Init() override;
    void SetPos(const Rect& rect) override;
    int CurSel() const { return m_selected; }
    // Hides the old page, shows the new one and raises "tabselect" (wParam new,
    // lParam old). False for an index that names no page.
    bool SelectItem(int index);
    static constexpr std::wstring_view kClass = L"TabLayout";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    int m_selected = 0;
};

class Label : public Control {
public:
    Label();
    std::wstring_view GetClass() const override { return L"Label"; }
    void* GetInterface(std::wstring_view name) override;
    int Font() const { return m_font; }  // -1: the window's default font
    void SetFont(int id) { m_font = id; }
    unsigned TextStyle() const { return m_textStyle; }
    Rect TextPadding() const { return Scaled(m_textPadding); }
    const Rect& LayoutTextPadding() const { return m_textPadding; }
    Color TextColor() const { return m_textColor; }
    void SetTextColor(Color c) { m_textColor = c; }
    Color DisabledTextColor() const { return m_disabledTextColor; }
    // The colour the text is drawn with in the current state.
    virtual Color CurrentTextColor() const;
    // "autowidth": the window widens the control when its text (plus the
    // text padding) is wider than the layout's width, as longer translations are.
    bool AutoWidth() const { return m_autoWidth; }
    static constexpr std::wstring_view kClass = L"Label";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    bool m_autoWidth = false;
    int m_font = -1;
    unsigned m_textStyle = kTextLeft | kTextVCenter | kTextSingleLine;
    Rect m_textPadding;
    Color m_textColor = 0, m_disabledTextColor = 0;
    friend struct LabelAttributes;
};

class Button : public Label {
public:
    Button();
    std::wstring_view GetClass() const override { return L"Button"; }
    void* GetInterface(std::wstring_view name) override;
    bool IsInteractive() const override { return true; }
    void Activate() override;
    // The state image, the state's fill and text colour, chosen in the order
    // disabled, pushed, hot, focused, falling back to the normal ones.
    virtual const std::wstring& CurrentImage() const;
    virtual Color CurrentBkColor() const;
    Color CurrentTextColor() const override;
    void SetNormalImage(std::wstring_view s) { m_normalImage = s; Invalidate(); }
    static constexpr std::wstring_view kClass = L"Button";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    std::wstring m_normalImage, m_hotImage, m_pushedImage, m_focusedImage, m_disabledImage;
    Color m_hotBkColor = 0, m_pushedBkColor = 0, m_disabledBkColor = 0;
    Color m_hotTextColor = 0, m_pushedTextColor = 0, m_focusedTextColor = 0;
    friend struct ButtonAttributes;
};

class CheckBox : public Button {
public:
    std::wstring_view GetClass() const override { return L"CheckBox"; }
    void* GetInterface(std::wstring_view name) override;
    bool IsChecked() const { return m_selected; }
    // Changes the checked state; raises "selectchanged" when it changed and
    // `notify` is set.
    void SetCheck(bool checked, bool notify = true);
    // Raises "click", then toggles and raises "selectchanged".
    void Activate() override;
    const std::wstring& CurrentImage() const override;
    Color CurrentBkColor() const override;
    Color CurrentTextColor() const override;
    const std::wstring& Group() const { return m_group; }
    static constexpr std::wstring_view kClass = L"CheckBox";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    bool m_selected = false;
    std::wstring m_selectedImage, m_selectedHotImage, m_group;
    Color m_selectedTextColor = 0, m_selectedBkColor = 0;
    friend struct CheckBoxAttributes;
};

// Single-line text entry; the window puts a platform edit box over it while it
// has the focus.
class Edit : public Label {
public:
    Edit();
    std::wstring_view GetClass() const override { return L"Edit"; }
    void* GetInterface(std::wstring_view name) override;
    bool IsInteractive() const override { return true; }
    int MaxChars() const { return m_maxChars; }
    bool IsReadOnly() const { return m_readOnly; }
    static constexpr std::wstring_view kClass = L"Edit";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    int m_maxChars = 255;
    bool m_readOnly = false;
    friend struct EditAttributes;
};

class Progress : public Label {
public:
    Progress();
    std::wstring_view GetClass() const override { return L"Progress"; }
    void* GetInterface(std::wstring_view name) override;
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int Value() const { return m_value; }
    bool IsHorizontal() const { return m_horizontal; }
    void SetRange(int min, int max);
    void SetValue(int value);
    const std::wstring& ForeImage() const { return m_foreImage; }
    void SetForeImage(std::wstring_view image);
    // Destination of the foreground image relative to the control's top-left
    // corner: the left share (horizontal) or the bottom share (vertical).
    Rect ForeDest() const;
    static constexpr std::wstring_view kClass = L"Progress";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    void Normalize();
    int m_min = 0, m_max = 100, m_value = 0;
    bool m_horizontal = true;
    std::wstring m_foreImage;
    friend struct ProgressAttributes;
};

// A minimal combo box: a list of item texts and a selected index; clicking it
// selects the next item (no drop-down list). Items come from the program or
// from "items" (texts separated by "|").
class Combo : public Label {
public:
    std::wstring_view GetClass() const override { return L"Combo"; }
    void* GetInterface(std::wstring_view name) override;
    bool IsInteractive() const override { return true; }
    void AddItem(std::wstring_view text);
    size_t ItemCount() const { return m_items.size(); }
    int CurSel() const { return m_selected; }
    // Selects an item, shows its text and raises "itemselect"; false when out of range.
    bool SelectItem(int index, bool notify = true);
    void Activate() override;
    static constexpr std::wstring_view kClass = L"Combo";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    std::vector<std::wstring> m_items;
    int m_selected = -1;
};

}  // namespace toolkit
