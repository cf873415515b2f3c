#include "toolkit/control.h"

#include <algorithm>

#include "toolkit/archive.h"

namespace toolkit {

// ---------------------------------------------------------------- Control

Control::Control() = default;

Control::~Control() = default;

void* Control::GetInterface(std::wstring_view name) { return name == kClass ? this : nullptr; }

void Control::SetAttribute(std::wstring_view name, std::wstring_view value) { ApplyAttribute(name, value); }

bool Control::ApplyFromTable(const AttributeEntry* begin, const AttributeEntry* end, Control& self,
                             std::wstring_view name, std::wstring_view value) {
    for (auto* e = begin; e != end; ++e) {
        if (e->name == name) {
            e->apply(self, value);
            return true;
        }
    }
    return false;
}

bool Control::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    static const AttributeEntry table[] = {
        {L"name", [](Control& c, std::wstring_view v) { c.m_name = v; }},
        {L"text", [](Control& c, std::wstring_view v) { c.m_text = v; }},
        {L"userdata", [](Control& c, std::wstring_view v) { c.m_userData = v; }},
        {L"accname", [](Control& c, std::wstring_view v) { c.m_accName = v; }},
        {L"textid", [](Control& c, std::wstring_view v) { c.m_textId = v; }},
        {L"userdataid", [](Control& c, std::wstring_view v) { c.m_userDataId = v; }},
        {L"accnameid", [](Control& c, std::wstring_view v) { c.m_accNameId = v; }},
        {L"width", [](Control& c, std::wstring_view v) { int n; if (ParseInt(v, n)) c.m_fixedWidth = std::max(n, 0); }},
        {L"height", [](Control& c, std::wstring_view v) { int n; if (ParseInt(v, n)) c.m_fixedHeight = std::max(n, 0); }},
        {L"minwidth", [](Control& c, std::wstring_view v) { int n; if (ParseInt(v, n)) c.m_minWidth = std::max(n, 0); }},
        {L"maxwidth", [](Control& c, std::wstring_view v) { int n; if (ParseInt(v, n)) c.m_maxWidth = std::max(n, 0); }},
        {L"minheight", [](Control& c, std::wstring_view v) { int n; if (ParseInt(v, n)) c.m_minHeight = std::max(n, 0); }},
        {L"maxheight", [](Control& c, std::wstring_view v) { int n; if (ParseInt(v, n)) c.m_maxHeight = std::max(n, 0); }},
        // Only the size of "pos" is used: no shipped control floats.
        {L"pos", [](Control& c, std::wstring_view v) {
             Rect r;
             if (!ParseRect(v, r)) return;
             c.m_fixedWidth = std::max(r.right - r.left, 0);
             c.m_fixedHeight = std::max(r.bottom - r.top, 0);
         }},
        {L"padding", [](Control& c, std::wstring_view v) { ParseRect(v, c.m_padding); }},
        {L"bkcolor", [](Control& c, std::wstring_view v) { ParseColor(v, c.m_bkColor); }},
        {L"bkimage", [](Control& c, std::wstring_view v) { c.m_bkImage = v; }},
        {L"bordersize", [](Control& c, std::wstring_view v) { int n; if (ParseInt(v, n)) c.m_borderSize = std::max(n, 0); }},
        {L"bordercolor", [](Control& c, std::wstring_view v) { ParseColor(v, c.m_borderColor); }},
        {L"borderround", [](Control& c, std::wstring_view v) { ParseSize(v, c.m_borderRound); }},
        {L"visible", [](Control& c, std::wstring_view v) { c.m_visible = IsTrue(v); }},
        {L"enabled", [](Control& c, std::wstring_view v) { c.m_enabled = IsTrue(v); }},
    };
    return ApplyFromTable(std::begin(table), std::end(table), *this, name, value);
}

void Control::SetHost(Host* host, Control* parent) {
    m_host = host;
    m_parent = parent;
}

Control* Control::FindByName(std::wstring_view name) { return (!name.empty() && m_name == name) ? this : nullptr; }

Control* Control::FindAt(int x, int y) { return (m_visible && m_rect.Contains(x, y)) ? this : nullptr; }

void Control::SetPos(const Rect& rect) {
    if (!(rect == m_rect)) {
        Invalidate();
        m_rect = rect;
    }
    Invalidate();
}

void Control::SetFixedWidth(int w) {
    w = std::max(w, 0);
    if (w == m_fixedWidth) return;
    m_fixedWidth = w;
    NeedLayout();
}

void Control::SetFixedHeight(int h) {
    h = std::max(h, 0);
    if (h == m_fixedHeight) return;
    m_fixedHeight = h;
    NeedLayout();
}

void Control::SetText(std::wstring_view text) {
    m_textId.clear();  // the program's text wins over the layout's text id
    if (m_text == text) return;
    m_text = text;
    Invalidate();
    if (m_host) m_host->ControlChanged(this, Host::Change::Name);
}

void Control::ApplyLanguageTexts() {
    std::wstring text;
    if (!m_textId.empty() && GetLanguageText(m_textId, text) && text != m_text) {
        m_text = text;
        Invalidate();
        if (m_host) m_host->ControlChanged(this, Host::Change::Name);
    }
    if (!m_userDataId.empty() && GetLanguageText(m_userDataId, text)) m_userData = text;
    if (!m_accNameId.empty() && GetLanguageText(m_accNameId, text)) m_accName = text;
}

void Control::SetVisible(bool visible) {
    if (m_visible == visible) return;
    m_visible = visible;
    if (!visible && m_host) {
        m_hot = m_pushed = false;
    }
    NeedLayout();
    if (m_host) m_host->ControlChanged(this, Host::Change::State);
}

void Control::SetEnabled(bool enabled) {
    if (m_enabled == enabled) return;
    m_enabled = enabled;
    if (!enabled) m_hot = m_pushed = false;
    Invalidate();
    if (m_host) m_host->ControlChanged(this, Host::Change::State);
}

void Control::SetHot(bool hot) {
    if (m_hot == hot) return;
    m_hot = hot;
    Invalidate();
}

void Control::SetPushed(bool pushed) {
    if (m_pushed == pushed) return;
    m_pushed = pushed;
    Invalidate();
}

void Control::SetFocused(bool focused) {
    if (m_focused == focused) return;
    m_focused = focused;
    Invalidate();
}

void Control::SetBkColor(Color c) {
    m_bkColor = c;
    Invalidate();
}

void Control::SetBkImage(std::wstring_view image) {
    if (m_bkImage == image) return;
    m_bkImage = image;
    Invalidate();
}

void Control::Activate() {}

void Control::OnTimer(unsigned id) {
    if (m_host) m_host->SendNotify(this, L"timer", static_cast<intptr_t>(id));
}

void Control::Invalidate() {
    if (m_host && m_visible) m_host->Invalidate(m_rect);
}

void Control::NeedLayout() {
    if (m_host) m_host->NeedLayout();
}

// ---------------------------------------------------------------- Container

Container::~Container() {
    // Children go first, while the host can still forget them.
    while (!m_children.empty()) {
        auto child = std::move(m_children.back());
        m_children.pop_back();
        if (m_host) m_host->ControlRemoved(child.get());
    }
}

void* Container::GetInterface(std::wstring_view name) {
    return name == kClass ? this : Control::GetInterface(name);
}

bool Container::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    static const AttributeEntry table[] = {
        {L"inset", [](Control& c, std::wstring_view v) { ParseRect(v, static_cast<Container&>(c).m_inset); }},
        {L"childpadding", [](Control& c, std::wstring_view v) {
             int n;
             if (ParseInt(v, n)) static_cast<Container&>(c).m_childPadding = std::max(n, 0);
         }},
    };
    return ApplyFromTable(std::begin(table), std::end(table), *this, name, value) ||
           Control::ApplyAttribute(name, value);
}

void Container::Add(std::unique_ptr<Control> child) {
    if (!child) return;
    child->SetHost(m_host, this);
    m_children.push_back(std::move(child));
    NeedLayout();
}

void Container::Remove(Control* child) {
    auto it = std::find_if(m_children.begin(), m_children.end(), [&](auto& p) { return p.get() == child; });
    if (it == m_children.end()) return;
    auto owned = std::move(*it);
    m_children.erase(it);
    if (m_host) m_host->ControlRemoved(owned.get());
    NeedLayout();
}

void Container::SetHost(Host* host, Control* parent) {
    Control::SetHost(host, parent);
    for (auto& c : m_children) c->SetHost(host, this);
}

Control* Container::FindByName(std::wstring_view name) {
    if (Control* self = Control::FindByName(name)) return self;
    for (auto& c : m_children)
        if (Control* found = c->FindByName(name)) return found;
    return nullptr;
}

Control* Container::FindAt(int x, int y) {
    if (!m_visible || !m_rect.Contains(x, y)) return nullptr;
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it)
        if (Control* found = (*it)->FindAt(x, y)) return found;
    return this;
}

Rect Container::InnerRect() const {
    const Rect inset = Inset();
    return Rect{m_rect.left + inset.left, m_rect.top + inset.top, m_rect.right - inset.right,
                m_rect.bottom - inset.bottom};
}

void Container::SetPos(const Rect& rect) {
    Control::SetPos(rect);
    Rect inner = InnerRect();
    for (auto& c : m_children) {
        if (!c->IsVisible()) continue;
        const Rect& p = c->Padding();
        c->SetPos(Rect{inner.left + p.left, inner.top + p.top, inner.right - p.right, inner.bottom - p.bottom});
    }
}

// ---------------------------------------------------------------- box layout

namespace {

// The box layout along one axis. `Axis` maps a control's vertical or
// horizontal quantities; the numbered steps are the same for both.
struct Along {
    bool vertical;
    int Fixed(const Control& c) const { return vertical ? c.FixedHeight() : c.FixedWidth(); }
    int Min(const Control& c) const { return vertical ? c.MinHeight() : c.MinWidth(); }
    int Max(const Control& c) const { return vertical ? c.MaxHeight() : c.MaxWidth(); }
    int PadBefore(const Control& c) const { return vertical ? c.Padding().top : c.Padding().left; }
    int PadAfter(const Control& c) const { return vertical ? c.Padding().bottom : c.Padding().right; }
    // Across the axis
    int CrossFixed(const Control& c) const { return vertical ? c.FixedWidth() : c.FixedHeight(); }
    int CrossMin(const Control& c) const { return vertical ? c.MinWidth() : c.MinHeight(); }
    int CrossMax(const Control& c) const { return vertical ? c.MaxWidth() : c.MaxHeight(); }
    int CrossPadBefore(const Control& c) const { return vertical ? c.Padding().left : c.Padding().top; }
    int CrossPadAfter(const Control& c) const { return vertical ? c.Padding().right : c.Padding().bottom; }
};

int Clamp(int v, int lo, int hi) { return std::max(lo, std::min(v, std::max(lo, hi))); }

void BoxLayout(const Along& ax, const std::vector<std::unique_ptr<Control>>& children, const Rect& inner,
               int spacing) {
    const int length = ax.vertical ? inner.Height() : inner.Width();
    const int across = ax.vertical ? inner.Width() : inner.Height();

    // Pass 1: fixed total and number of adjustable children.
    int fixedTotal = 0, adjustable = 0, visible = 0;
    for (auto& c : children) {
        if (!c->IsVisible()) continue;
        ++visible;
        int fixed = ax.Fixed(*c);
        if (fixed > 0) {
            fixedTotal += Clamp(fixed, ax.Min(*c), ax.Max(*c)) + ax.PadBefore(*c) + ax.PadAfter(*c);
        } else {
            ++adjustable;
            fixedTotal += ax.PadBefore(*c) + ax.PadAfter(*c);
        }
    }
    if (visible > 1) fixedTotal += (visible - 1) * spacing;

    // Pass 2: the share of every adjustable child.
    const int share = adjustable > 0 ? std::max((length - fixedTotal) / adjustable, 0) : 0;

    // Pass 3: place in order; the last adjustable child takes what is left.
    int pos = ax.vertical ? inner.top : inner.left;
    int remainingFree = length - fixedTotal;  // space still available to adjustable children
    int adjustableSeen = 0;
    for (auto& c : children) {
        if (!c->IsVisible()) continue;
        int size;
        const int fixed = ax.Fixed(*c);
        if (fixed > 0) {
            size = fixed;
        } else {
            ++adjustableSeen;
            size = adjustableSeen == adjustable ? std::max(remainingFree, 0) : share;
            remainingFree -= size;
        }
        size = Clamp(size, ax.Min(*c), ax.Max(*c));

        // Pass 4: the size across the axis.
        int cross = ax.CrossFixed(*c);
        if (cross <= 0) cross = across - ax.CrossPadBefore(*c) - ax.CrossPadAfter(*c);
        cross = Clamp(cross, ax.CrossMin(*c), ax.CrossMax(*c));
        cross = std::min(cross, std::max(across - ax.CrossPadBefore(*c) - ax.CrossPadAfter(*c), 0));

        // Pass 5: the rectangle, then advance.
        const int start = pos + ax.PadBefore(*c);
        const int crossStart = (ax.vertical ? inner.left : inner.top) + ax.CrossPadBefore(*c);
        Rect r = ax.vertical ? Rect{crossStart, start, crossStart + cross, start + size}
                             : Rect{start, crossStart, start + size, crossStart + cross};
        c->SetPos(r);
        pos += size + ax.PadBefore(*c) + ax.PadAfter(*c) + spacing;
    }
}

}  // namespace

void* VerticalLayout::GetInterface(std::wstring_view name) {
    return name == kClass ? this : Container::GetInterface(name);
}

void VerticalLayout::SetPos(const Rect& rect) {
    Control::SetPos(rect);
    BoxLayout(Along{true}, m_children, InnerRect(), ChildPadding());
}

void* HorizontalLayout::GetInterface(std::wstring_view name) {
    return name == kClass ? this : Container::GetInterface(name);
}

void HorizontalLayout::SetPos(const Rect& rect) {
    Control::SetPos(rect);
    BoxLayout(Along{false}, m_children, InnerRect(), ChildPadding());
}

// ---------------------------------------------------------------- TabLayout

void* TabLayout::GetInterface(std::wstring_view name) {
    return name == kClass ? this : Container::GetInterface(name);
}

bool TabLayout::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    static const AttributeEntry table[] = {
        {L"selectedid", [](Control& c, std::wstring_view v) {
             int n;
             if (ParseInt(v, n) && n >= 0) static_cast<TabLayout&>(c).m_selected = n;
         }},
    };
    return ApplyFromTable(std::begin(table), std::end(table), *this, name, value) ||
           Container::ApplyAttribute(name, value);
}

void TabLayout::Init() {
    if (m_selected >= static_cast<int>(m_children.size())) m_selected = 0;
    for (size_t i = 0; i < m_children.size(); ++i) m_children[i]->SetVisible(static_cast<int>(i) == m_selected);
}

void TabLayout::SetPos(const Rect& rect) {
    Control::SetPos(rect);
    Rect inner = InnerRect();
    for (auto& c : m_children) {
        if (!c->IsVisible()) continue;
        const Rect& p = c->Padding();
        c->SetPos(Rect{inner.left + p.left, inner.top + p.top, inner.right - p.right, inner.bottom - p.bottom});
    }
}

bool TabLayout::SelectItem(int index) {
    if (index < 0 || index >= static_cast<int>(m_children.size())) return false;
    const int old = m_selected;
    m_selected = index;
    for (size_t i = 0; i < m_children.size(); ++i) m_children[i]->SetVisible(static_cast<int>(i) == index);
    NeedLayout();
    Invalidate();
    if (m_host) m_host->SendNotify(this, L"tabselect", index, old);
    return true;
}

// ---------------------------------------------------------------- Label

Label::Label() = default;

void* Label::GetInterface(std::wstring_view name) { return name == kClass ? this : Control::GetInterface(name); }

bool Label::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    static const AttributeEntry table[] = {
        {L"font", [](Control& c, std::wstring_view v) { int n; if (ParseInt(v, n)) static_cast<Label&>(c).m_font = n; }},
        {L"autowidth", [](Control& c, std::wstring_view v) { static_cast<Label&>(c).m_autoWidth = IsTrue(v); }},
        {L"textcolor", [](Control& c, std::wstring_view v) { ParseColor(v, static_cast<Label&>(c).m_textColor); }},
        {L"disabledtextcolor", [](Control& c, std::wstring_view v) { ParseColor(v, static_cast<Label&>(c).m_disabledTextColor); }},
        {L"textpadding", [](Control& c, std::wstring_view v) { ParseRect(v, static_cast<Label&>(c).m_textPadding); }},
        {L"align", [](Control& c, std::wstring_view v) {
             auto& s = static_cast<Label&>(c).m_textStyle;
             // "center" is looked for after "left"/"right" do not match, as a word of its own.
             if (v.find(L"left") != v.npos) s = (s & ~kTextHorzMask) | kTextLeft;
             else if (v.find(L"right") != v.npos) s = (s & ~kTextHorzMask) | kTextRight;
             else if (v.find(L"center") != v.npos) s = (s & ~kTextHorzMask) | kTextCenter;
         }},
        {L"valign", [](Control& c, std::wstring_view v) {
             auto& s = static_cast<Label&>(c).m_textStyle;
             // Only "top", "vcenter" and "bottom" change it: "center" alone does not.
             if (v.find(L"top") != v.npos) s = (s & ~kTextVertMask) | kTextTop;
             else if (v.find(L"vcenter") != v.npos) s = (s & ~kTextVertMask) | kTextVCenter;
             else if (v.find(L"bottom") != v.npos) s = (s & ~kTextVertMask) | kTextBottom;
         }},
        {L"multiline", [](Control& c, std::wstring_view v) {
             auto& s = static_cast<Label&>(c).m_textStyle;
             if (IsTrue(v)) s = (s & ~kTextSingleLine) | kTextWordBreak;
             else s = (s & ~kTextWordBreak) | kTextSingleLine;
         }},
        {L"endellipsis", [](Control& c, std::wstring_view v) {
             auto& s = static_cast<Label&>(c).m_textStyle;
             if (IsTrue(v)) s |= kTextEndEllipsis;
             else s &= ~kTextEndEllipsis;
         }},
    };
    return ApplyFromTable(std::begin(table), std::end(table), *this, name, value) ||
           Control::ApplyAttribute(name, value);
}

Color Label::CurrentTextColor() const {
    if (!m_enabled && m_disabledTextColor != 0) return m_disabledTextColor;
    return m_textColor;
}

// ---------------------------------------------------------------- Button

Button::Button() { m_textStyle = kTextCenter | kTextVCenter | kTextSingleLine; }

void* Button::GetInterface(std::wstring_view name) { return name == kClass ? this : Label::GetInterface(name); }

bool Button::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
#define VELQOR_STR(attr, field) {attr, [](Control& c, std::wstring_view v) { static_cast<Button&>(c).field = v; }}
#define VELQOR_COLOR(attr, field) {attr, [](Control& c, std::wstring_view v) { ParseColor(v, static_cast<Button&>(c).field); }}
    static const AttributeEntry table[] = {
        VELQOR_STR(L"normalimage", m_normalImage),     VELQOR_STR(L"hotimage", m_hotImage),
        VELQOR_STR(L"pushedimage", m_pushedImage),     VELQOR_STR(L"focusedimage", m_focusedImage),
        VELQOR_STR(L"disabledimage", m_disabledImage), VELQOR_COLOR(L"hotbkcolor", m_hotBkColor),
        VELQOR_COLOR(L"pushedbkcolor", m_pushedBkColor), VELQOR_COLOR(L"disabledbkcolor", m_disabledBkColor),
        VELQOR_COLOR(L"hottextcolor", m_hotTextColor), VELQOR_COLOR(L"pushedtextcolor", m_pushedTextColor),
        VELQOR_COLOR(L"focusedtextcolor", m_focusedTextColor),
    };
#undef VELQOR_STR
#undef VELQOR_COLOR
    return ApplyFromTable(std::begin(table), std::end(table), *this, name, value) ||
           Label::ApplyAttribute(name, value);
}

void Button::Activate() {
    if (!m_enabled || !m_visible) return;
    if (m_host) m_host->SendNotify(this, L"click");
}

const std::wstring& Button::CurrentImage() const {
    const std::wstring* chosen = nullptr;
    if (!m_enabled) chosen = &m_disabledImage;
    else if (m_pushed) chosen = &m_pushedImage;
    else if (m_hot) chosen = &m_hotImage;
    else if (m_focused) chosen = &m_focusedImage;
    return (chosen && !chosen->empty()) ? *chosen : m_normalImage;
}

Color Button::CurrentBkColor() const {
    Color chosen = 0;
    if (!m_enabled) chosen = m_disabledBkColor;
    else if (m_pushed) chosen = m_pushedBkColor;
    else if (m_hot) chosen = m_hotBkColor;
    return chosen != 0 ? chosen : m_bkColor;
}

Color Button::CurrentTextColor() const {
    Color chosen = 0;
    if (!m_enabled) chosen = m_disabledTextColor;
    else if (m_pushed) chosen = m_pushedTextColor;
    else if (m_hot) chosen = m_hotTextColor;
    else if (m_focused) chosen = m_focusedTextColor;
    return chosen != 0 ? chosen : m_textColor;
}

// ---------------------------------------------------------------- CheckBox

void* CheckBox::GetInterface(std::wstring_view name) {
    // A check box is the markup's "Option" kind as well (for the drag strip rule).
    return (name == kClass || name == L"Option") ? this : Button::GetInterface(name);
}

bool CheckBox::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    static const AttributeEntry table[] = {
        {L"selected", [](Control& c, std::wstring_view v) { static_cast<CheckBox&>(c).m_selected = IsTrue(v); }},
        {L"selectedimage", [](Control& c, std::wstring_view v) { static_cast<CheckBox&>(c).m_selectedImage = v; }},
        {L"selectedhotimage", [](Control& c, std::wstring_view v) { static_cast<CheckBox&>(c).m_selectedHotImage = v; }},
        {L"selectedtextcolor", [](Control& c, std::wstring_view v) { ParseColor(v, static_cast<CheckBox&>(c).m_selectedTextColor); }},
        {L"selectedbkcolor", [](Control& c, std::wstring_view v) { ParseColor(v, static_cast<CheckBox&>(c).m_selectedBkColor); }},
        {L"group", [](Control& c, std::wstring_view v) { static_cast<CheckBox&>(c).m_group = v; }},
    };
    return ApplyFromTable(std::begin(table), std::end(table), *this, name, value) ||
           Button::ApplyAttribute(name, value);
}

void CheckBox::SetCheck(bool checked, bool notify) {
    if (m_selected == checked) return;
    m_selected = checked;
    Invalidate();
    if (m_host) m_host->ControlChanged(this, Host::Change::State);
    if (notify && m_host) m_host->SendNotify(this, L"selectchanged", checked ? 1 : 0);
}

void CheckBox::Activate() {
    if (!m_enabled || !m_visible) return;
    Button::Activate();
    SetCheck(!m_selected, true);
}

const std::wstring& CheckBox::CurrentImage() const {
    if (m_selected && m_enabled) {
        if (m_hot && !m_selectedHotImage.empty()) return m_selectedHotImage;
        if (!m_selectedImage.empty()) return m_selectedImage;
    }
    return Button::CurrentImage();
}

Color CheckBox::CurrentBkColor() const {
    if (m_selected && m_selectedBkColor != 0) return m_selectedBkColor;
    return Button::CurrentBkColor();
}

Color CheckBox::CurrentTextColor() const {
    if (m_selected && m_enabled && m_selectedTextColor != 0) return m_selectedTextColor;
    return Button::CurrentTextColor();
}

// ---------------------------------------------------------------- Edit

Edit::Edit() = default;

void* Edit::GetInterface(std::wstring_view name) { return name == kClass ? this : Label::GetInterface(name); }

bool Edit::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    static const AttributeEntry table[] = {
        {L"maxchar", [](Control& c, std::wstring_view v) { int n; if (ParseInt(v, n) && n > 0) static_cast<Edit&>(c).m_maxChars = n; }},
        {L"readonly", [](Control& c, std::wstring_view v) { static_cast<Edit&>(c).m_readOnly = IsTrue(v); }},
    };
    return ApplyFromTable(std::begin(table), std::end(table), *this, name, value) ||
           Label::ApplyAttribute(name, value);
}

// ---------------------------------------------------------------- Progress

Progress::Progress() {
    m_textStyle = kTextCenter | kTextVCenter | kTextSingleLine;
    m_fixedHeight = 12;
}

void* Progress::GetInterface(std::wstring_view name) { return name == kClass ? this : Label::GetInterface(name); }

bool Progress::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    static const AttributeEntry table[] = {
        {L"foreimage", [](Control& c, std::wstring_view v) { static_cast<Progress&>(c).m_foreImage = v; }},
        {L"min", [](Control& c, std::wstring_view v) { auto& p = static_cast<Progress&>(c); if (ParseInt(v, p.m_min)) p.Normalize(); }},
        {L"max", [](Control& c, std::wstring_view v) { auto& p = static_cast<Progress&>(c); if (ParseInt(v, p.m_max)) p.Normalize(); }},
        {L"value", [](Control& c, std::wstring_view v) { auto& p = static_cast<Progress&>(c); if (ParseInt(v, p.m_value)) p.Normalize(); }},
        {L"hor", [](Control& c, std::wstring_view v) { static_cast<Progress&>(c).m_horizontal = IsTrue(v); }},
    };
    return ApplyFromTable(std::begin(table), std::end(table), *this, name, value) ||
           Label::ApplyAttribute(name, value);
}

void Progress::Normalize() {
    if (m_max <= m_min) m_max = m_min + 1;
    m_value = std::clamp(m_value, m_min, m_max);
}

void Progress::SetRange(int min, int max) {
    m_min = min;
    m_max = max;
    Normalize();
    Invalidate();
}

void Progress::SetValue(int value) {
    const int old = m_value;
    m_value = value;
    Normalize();
    Invalidate();
    if (m_host && m_value != old) m_host->ControlChanged(this, Host::Change::Value);
}

void Progress::SetForeImage(std::wstring_view image) {
    m_foreImage = image;
    Invalidate();
}

Rect Progress::ForeDest() const {
    const int w = m_rect.Width(), h = m_rect.Height();
    const long long span = static_cast<long long>(m_max) - m_min;
    const long long done = static_cast<long long>(m_value) - m_min;
    if (m_horizontal) return Rect{0, 0, static_cast<int>(w * done / span), h};
    const int filled = static_cast<int>(h * done / span);
    return Rect{0, h - filled, w, h};
}

// ---------------------------------------------------------------- Combo

void* Combo::GetInterface(std::wstring_view name) { return name == kClass ? this : Label::GetInterface(name); }

bool Combo::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    static const AttributeEntry table[] = {
        {L"items", [](Control& c, std::wstring_view v) {
             auto& combo = static_cast<Combo&>(c);
             size_t start = 0;
             while (start <= v.size()) {
                 size_t bar = v.find(L'|', start);
                 if (bar == v.npos) bar = v.size();
                 combo.m_items.emplace_back(v.substr(start, bar - start));
                 start = bar + 1;
             }
         }},
        {L"selectedid", [](Control& c, std::wstring_view v) {
             int n;
             if (ParseInt(v, n)) static_cast<Combo&>(c).SelectItem(n, false);
         }},
    };
    return ApplyFromTable(std::begin(table), std::end(table), *this, name, value) ||
           Label::ApplyAttribute(name, value);
}

void Combo::AddItem(std::wstring_view text) { m_items.emplace_back(text); }

bool Combo::SelectItem(int index, bool notify) {
    if (index < 0 || index >= static_cast<int>(m_items.size())) return false;
    const int old = m_selected;
    m_selected = index;
    SetText(m_items[static_cast<size_t>(index)]);
    if (notify && m_host) m_host->SendNotify(this, L"itemselect", index, old);
    return true;
}

void Combo::Activate() {
    if (!m_enabled || m_items.empty()) return;
    SelectItem((m_selected + 1) % static_cast<int>(m_items.size()));
}

}  // namespace toolkit
