#include "ui/language.h"

#include <climits>
#include <cmath>

#include <nlohmann/json.hpp>

#include "toolkit/archive.h"
#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {
const wchar_t* const kCodes[] = {L"en-US", L"zh-CN", L"zh-TW"};
constexpr int kCodeCount = 3;

// Builds the document as nlohmann's own reader does, but refuses nesting
// deeper than a language file could sensibly have (it is an array of flat
// objects), so that a hostile file cannot make the document huge in depth.
class BoundedDomReader {
public:
    using Json = nlohmann::json;
    explicit BoundedDomReader(Json& root) : m_dom(root, /*allow_exceptions=*/false) {}
    bool null() { return m_dom.null(); }
    bool boolean(bool v) { return m_dom.boolean(v); }
    bool number_integer(Json::number_integer_t v) { return m_dom.number_integer(v); }
    bool number_unsigned(Json::number_unsigned_t v) { return m_dom.number_unsigned(v); }
    bool number_float(Json::number_float_t v, const Json::string_t& s) { return m_dom.number_float(v, s); }
    bool string(Json::string_t& v) { return m_dom.string(v); }
    bool binary(Json::binary_t& v) { return m_dom.binary(v); }
    bool start_object(std::size_t n) { return ++m_depth <= kMaxDepth && m_dom.start_object(n); }
    bool key(Json::string_t& v) { return m_dom.key(v); }
    bool end_object() { --m_depth; return m_dom.end_object(); }
    bool start_array(std::size_t n) { return ++m_depth <= kMaxDepth && m_dom.start_array(n); }
    bool end_array() { --m_depth; return m_dom.end_array(); }
    bool parse_error(std::size_t at, const std::string& token, const nlohmann::detail::exception& e) {
        return m_dom.parse_error(at, token, e);
    }
    bool is_errored() const { return m_dom.is_errored(); }

private:
    static constexpr int kMaxDepth = 64;
    nlohmann::detail::json_sax_dom_parser<Json> m_dom;
    int m_depth = 0;
};

// An id is a whole number within int's range (2 and 2.0 alike).
bool IntegerId(const nlohmann::json& id, int& value) {
    if (id.is_number_integer()) {
        if (id.is_number_unsigned()) {
            const auto u = id.get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(INT_MAX)) return false;
            value = static_cast<int>(u);
            return true;
        }
        const auto i = id.get<std::int64_t>();
        if (i < INT_MIN || i > INT_MAX) return false;
        value = static_cast<int>(i);
        return true;
    }
    if (id.is_number_float()) {
        const double d = id.get<double>();
        if (!(d >= INT_MIN && d <= INT_MAX) || std::floor(d) != d) return false;
        value = static_cast<int>(d);
        return true;
    }
    return false;
}
}  // namespace

std::wstring LanguageCodeAt(int index) {
    if (index < 0 || index >= kCodeCount) return std::wstring();
    return kCodes[index];
}

bool ReadLanguageTexts(const std::string& bytes, int index) {
    if (index < 0 || index >= kCodeCount) return false;
    // Parsed leniently: comments are skipped and whatever follows the array is
    // ignored; a malformed or absurdly nested file leaves every text as it was.
    nlohmann::json root;
    BoundedDomReader dom(root);
    const bool parsed = nlohmann::json::sax_parse(bytes, &dom, nlohmann::json::input_format_t::json,
                                                  /*strict=*/false, /*ignore_comments=*/true);
    if (!parsed || dom.is_errored() || root.is_discarded() || !root.is_array()) {
        DEBUG_LOG(L"language.json cannot be parsed\r\n");
        return false;
    }
    const std::string member = Utils::WideToUtf8(kCodes[index]);
    for (const auto& element : root) {
        // Elements without an integer id or a string text are skipped.
        if (!element.is_object()) continue;
        const auto id = element.find("id");
        const auto text = element.find(member);
        if (id == element.end() || text == element.end() || !text->is_string()) continue;
        int value = 0;
        if (!IntegerId(*id, value)) continue;
        // The file is UTF-8: straight to wide text. (Through the ANSI code
        // page every character outside it would become "?", the Chinese texts
        // on a Western system for one.)
        toolkit::SetLanguageText(std::to_wstring(value), Utils::Utf8ToWide(text->get_ref<const std::string&>()));
    }
    return true;
}

int LoadLanguage(int index, const std::wstring& code) {
    auto archive = toolkit::GetSkinArchive();
    if (!archive) return 0;
    const int64_t size = archive->FileSize(L"language.json");
    if (size <= 0 || static_cast<uint64_t>(size) > kMaxLanguageFileSize) return 0;
    std::string bytes;
    if (!archive->ReadFile(L"language.json", bytes, kMaxLanguageFileSize)) return 0;

    if (!code.empty()) {
        const std::string wanted = Utils::WideToAnsi(code);
        for (int i = 0; i < kCodeCount; ++i)
            if (Utils::WideToAnsi(kCodes[i]) == wanted) index = i;
    } else if (index < 0 || index >= kCodeCount) {
        index = 0;
    }
    if (index < 0 || index >= kCodeCount) return index;  // an unknown code keeps an out-of-table index

    ReadLanguageTexts(bytes, index);
    return index;
}

std::wstring LanguageText(const wchar_t* id, const wchar_t* fallback) {
    std::wstring text;
    return toolkit::GetLanguageText(id, text) ? text : std::wstring(fallback);
}

int LoadInstalledLanguage(const std::wstring& folder) {
    std::wstring code;
    const std::wstring config = folder + L"\\config.ini";
    if (Utils::FileExists(config)) {
        code = Utils::IniReadString(config, L"Install", L"Language", L"en-US");
        if (code.size() > 260) code.resize(260);
    }
    int index = LoadLanguage(0, code);
    toolkit::RelayoutAllWindows();
    return index;
}
