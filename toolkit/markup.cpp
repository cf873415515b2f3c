#include "toolkit/markup.h"

#include <pugixml.hpp>

#include "utils/text.h"

namespace toolkit {
namespace {

constexpr int kMaxDepth = 64;

std::wstring Wide(const char* utf8) { return Utils::Utf8ToWide(utf8 ? utf8 : ""); }

template <class T> std::unique_ptr<Control> Make() { return std::make_unique<T>(); }

struct BuiltinEntry {
    std::wstring_view element;
    std::unique_ptr<Control> (*make)();
};

const BuiltinEntry kBuiltins[] = {
    {L"control", &Make<Control>},       {L"container", &Make<Container>},
    {L"verticallayout", &Make<VerticalLayout>}, {L"horizontallayout", &Make<HorizontalLayout>},
    {L"tablayout", &Make<TabLayout>},   {L"label", &Make<Label>},
    {L"text", &Make<Label>},            {L"button", &Make<Button>},
    {L"checkbox", &Make<CheckBox>},     {L"option", &Make<CheckBox>},
    {L"edit", &Make<Edit>},             {L"progress", &Make<Progress>},
    {L"combo", &Make<Combo>},
};

bool BuildChildren(const pugi::xml_node& node, Container& parent, const ControlFactory& custom, int depth,
                   std::wstring* error);

std::unique_ptr<Control> BuildControl(const pugi::xml_node& node, const ControlFactory& custom, int depth,
                                      std::wstring* error) {
    if (depth > kMaxDepth) {
        if (error) *error = L"layout nested too deeply";
        return nullptr;
    }
    const std::wstring element = Wide(node.name());
    std::unique_ptr<Control> control = custom ? custom(element) : nullptr;
    if (!control) control = CreateBuiltinControl(element);
    if (!control) return nullptr;  // unknown element: skipped with its children
    for (const auto& attr : node.attributes()) control->SetAttribute(Wide(attr.name()), Wide(attr.value()));
    if (auto* container = control->As<Container>()) {
        if (!BuildChildren(node, *container, custom, depth + 1, error)) return nullptr;
    }
    return control;
}

bool BuildChildren(const pugi::xml_node& node, Container& parent, const ControlFactory& custom, int depth,
                   std::wstring* error) {
    for (const auto& child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        std::wstring err;
        auto control = BuildControl(child, custom, depth, &err);
        if (!err.empty()) {
            if (error) *error = err;
            return false;
        }
        if (control) parent.Add(std::move(control));
    }
    return true;
}

}  // namespace

std::unique_ptr<Control> CreateBuiltinControl(std::wstring_view element) {
    for (const auto& b : kBuiltins)
        if (EqualsNoCase(b.element, element)) return b.make();
    return nullptr;
}

const std::wstring* WindowSpec::Attribute(std::wstring_view name) const {
    for (const auto& [n, v] : attributes)
        if (EqualsNoCase(n, name)) return &v;
    return nullptr;
}

const FontSpec* WindowSpec::Font(int id) const {
    if (id >= 0)
        for (const auto& f : fonts)
            if (f.id == id) return &f;
    for (const auto& f : fonts)
        if (f.isDefault) return &f;
    return fonts.empty() ? nullptr : &fonts.front();
}

bool BuildLayout(std::string_view markup, const ControlFactory& custom, LayoutDocument& out, std::wstring* error) {
    auto fail = [&](const std::wstring& why) {
        if (error) *error = why;
        return false;
    };
    out = LayoutDocument{};
    pugi::xml_document doc;
    auto parsed = doc.load_buffer(markup.data(), markup.size(), pugi::parse_default, pugi::encoding_auto);
    if (!parsed) return fail(L"markup is not well-formed: " + Wide(parsed.description()));
    pugi::xml_node window = doc.document_element();
    if (!window || !EqualsNoCase(Wide(window.name()), L"Window")) return fail(L"root element is not Window");

    WindowSpec& desc = out.window;
    for (const auto& attr : window.attributes()) {
        std::wstring name = AsciiLower(Wide(attr.name()));
        std::wstring value = Wide(attr.value());
        if (name == L"size") ParseSize(value, desc.size);
        else if (name == L"caption") ParseRect(value, desc.caption);
        else if (name == L"roundcorner") ParseSize(value, desc.roundCorner);
        desc.attributes.emplace_back(std::move(name), std::move(value));
    }

    pugi::xml_node rootNode;
    for (const auto& child : window.children()) {
        if (child.type() != pugi::node_element) continue;
        if (EqualsNoCase(Wide(child.name()), L"Font")) {
            FontSpec font;
            for (const auto& attr : child.attributes()) {
                std::wstring name = AsciiLower(Wide(attr.name()));
                std::wstring value = Wide(attr.value());
                if (name == L"id") ParseInt(value, font.id);
                else if (name == L"name") font.name = value.substr(0, 31);
                else if (name == L"size") ParseInt(value, font.size);
                else if (name == L"bold") font.bold = IsTrueNoCase(value);
                else if (name == L"underline") font.underline = IsTrueNoCase(value);
                else if (name == L"italic") font.italic = IsTrueNoCase(value);
                else if (name == L"default") font.isDefault = IsTrueNoCase(value);
            }
            desc.fonts.push_back(std::move(font));
        } else if (!rootNode) {
            std::wstring err;
            auto root = BuildControl(child, custom, 1, &err);
            if (!err.empty()) return fail(err);
            if (root) {
                rootNode = child;
                out.root = std::move(root);
            }
        }
    }
    if (!out.root) return fail(L"layout has no root control");
    return true;
}

}  // namespace toolkit
