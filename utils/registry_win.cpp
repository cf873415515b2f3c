#include <windows.h>

#include <vector>

#include "utils/registry.h"

namespace Utils {

bool RegReadString(const std::wstring& subKey, const std::wstring& valueName, std::wstring& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, bytes = 0;
    bool ok = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
              (type == REG_SZ || type == REG_EXPAND_SZ);
    if (ok) {
        // Room for a terminating zero the writer may have left out.
        std::vector<wchar_t> buf(bytes / sizeof(wchar_t) + 2, L'\0');
        DWORD got = bytes;
        ok = RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &got) ==
             ERROR_SUCCESS;
        if (ok) {
            size_t chars = got / sizeof(wchar_t);
            while (chars > 0 && buf[chars - 1] == L'\0') --chars;
            value.assign(buf.data(), chars);
        }
    }
    RegCloseKey(key);
    return ok;
}

bool RegWriteString(const std::wstring& subKey, const std::wstring& valueName, const std::wstring& value,
                    bool withTerminator) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD bytes = static_cast<DWORD>((value.size() + (withTerminator ? 1 : 0)) * sizeof(wchar_t));
    bool ok = RegSetValueExW(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) ==
              ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool RegRemoveValue(const std::wstring& subKey, const std::wstring& valueName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    bool ok = RegDeleteValueW(key, valueName.c_str()) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

}  // namespace Utils
