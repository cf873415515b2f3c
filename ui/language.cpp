#include "ui/language.h"

#include <json/json.h>

#include <exception>
#include <memory>

#include "toolkit/archive.h"
#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/log.h"
#include "utils/text.h"

namespace {
const wchar_t* const kCodes[] = {L"en-US", L"zh-CN", L"zh-TW"};
constexpr int kCodeCount = 3;
}  // namespace

std::wstring LanguageCodeAt(int index) {
    if (index < 0 || index >= kCodeCount) return std::wstring();
    return kCodes[index];
}

bool ReadLanguageTexts(const std::string& bytes, int index) {
    if (index < 0 || index >= kCodeCount) return false;
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    bool parsed = false;
    try {
        parsed = reader->parse(bytes.data(), bytes.data() + bytes.size(), &root, &errors);
    } catch (const std::exception&) {
        // The reader throws, rather than failing, on nesting deeper than its limit.
        parsed = false;
    }
    if (!parsed || !root.isArray()) {
        DEBUG_LOG(L"language.json cannot be parsed\r\n");
        return false;
    }
    const std::string member = Utils::WideToUtf8(kCodes[index]);
    for (const auto& element : root) {
        // Elements without an integer id or a string text are skipped.
        if (!element.isObject()) continue;
        const Json::Value& id = element["id"];
        const Json::Value& text = element[member];
        if (!id.isInt() || !text.isString()) continue;
        // The file is UTF-8: straight to wide text. (Through the ANSI code
        // page every character outside it would become "?", the Chinese texts
        // on a Western system for one.)
        toolkit::SetLanguageText(std::to_wstring(id.asInt()), Utils::Utf8ToWide(text.asString()));
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
