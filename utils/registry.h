#pragma once
// String values under the current user's hive (HKEY_CURRENT_USER). On POSIX a
// stand-in keeps them in a file: $VELQOR_REGISTRY_FILE, else
// $XDG_CONFIG_HOME/velqor/registry.ini (~/.config/velqor/registry.ini).
#include <string>

namespace Utils {

// Reads a REG_SZ value. Returns false and leaves `value` unchanged when the key
// or the value is missing. A value stored without a terminating zero reads back
// the same as one stored with it.
bool RegReadString(const std::wstring& subKey, const std::wstring& valueName, std::wstring& value);
// Creates the key when needed and writes a REG_SZ value including its
// terminating zero (withTerminator = false stores it without, as some other
// programs do; used by tests).
bool RegWriteString(const std::wstring& subKey, const std::wstring& valueName, const std::wstring& value,
                    bool withTerminator = true);
bool RegRemoveValue(const std::wstring& subKey, const std::wstring& valueName);

}  // namespace Utils
