// The registry stand-in on POSIX: one INI file, a section per key path, values
// escaped so that any text (line ends, '=', leading blanks) survives.
#include <cstdlib>

#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/registry.h"
#include "utils/text.h"

namespace Utils {
namespace {

std::wstring StoreFile() {
    std::wstring path;
    if (GetEnv(L"VELQOR_REGISTRY_FILE", path) && !path.empty()) return path;
    std::wstring base;
    if (!GetEnv(L"XDG_CONFIG_HOME", base) || base.empty()) {
        std::wstring home;
        GetEnv(L"HOME", home);
        base = home + L"/.config";
    }
    MakeDirectory(base);
    MakeDirectory(base + L"/velqor");
    return base + L"/velqor/registry.ini";
}

// Every character outside printable ASCII (and '\', '=', quotes, ';') as \uXXXXXX.
std::wstring Escape(const std::wstring& s) {
    std::wstring out = L"|";  // markers keep blanks at either end
    for (wchar_t c : s) {
        if (c >= 0x20 && c < 0x7F && c != L'\\' && c != L'=' && c != L'"' && c != L'\'' && c != L';') {
            out += c;
        } else {
            wchar_t buf[16];
            swprintf(buf, 16, L"\\%06X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out + L"|";
}

std::wstring Unescape(const std::wstring& s) {
    std::wstring in = s.size() >= 2 ? s.substr(1, s.size() - 2) : s;
    std::wstring out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == L'\\' && i + 6 < in.size() + 0 + 1) {
            out += static_cast<wchar_t>(std::wcstoul(in.substr(i + 1, 6).c_str(), nullptr, 16));
            i += 6;
        } else {
            out += in[i];
        }
    }
    return out;
}

const std::wstring kMissing = L"\\missing";

}  // namespace

bool RegReadString(const std::wstring& subKey, const std::wstring& valueName, std::wstring& value) {
    std::wstring raw = IniReadString(StoreFile(), subKey, Escape(valueName), kMissing, 1 << 20);
    if (raw == kMissing) return false;
    value = Unescape(raw);
    return true;
}

bool RegWriteString(const std::wstring& subKey, const std::wstring& valueName, const std::wstring& value,
                    bool /*withTerminator: no such distinction in the stand-in*/) {
    return IniWriteString(StoreFile(), subKey, Escape(valueName), Escape(value));
}

bool RegRemoveValue(const std::wstring& subKey, const std::wstring& valueName) {
    std::wstring v;
    if (!RegReadString(subKey, valueName, v)) return false;
    return IniWriteString(StoreFile(), subKey, Escape(valueName), kMissing);
}

}  // namespace Utils
