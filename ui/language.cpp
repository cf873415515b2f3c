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

    // Parsed as a lenient reader would: comments are skipped and whatever follows the
    // array is ignored; a malformed file leaves every text at its fallback.
    nlohmann::json root;
    nlohmann::detail::json_sax_dom_parser<nlohmann::json> dom(root, /*allow_exceptions=*/false);
    const bool parsed = nlohmann::json::sax_parse(bytes, &dom, nlohmann::json::input_format_t::json,
                                                  /*strict=*/false, /*ignore_comments=*/true);
    if (!parsed || root.is_discarded() || !root.is_array()) {
        DEBUG_LOG(L"language.json cannot be parsed\r\n");
        return index;
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
