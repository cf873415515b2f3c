#pragma once
// The language mechanism: a fixed table of language codes, the optional
// "language.json" in the skin archive and the language of an installed product.
#include <cstdint>
#include <string>

// index -> code: 0 "en-US", 1 "zh-CN", 2 "zh-TW"; "" when the table has no
// such entry.
std::wstring LanguageCodeAt(int index);

// Largest language file that is read (bytes).
constexpr uint64_t kMaxLanguageFileSize = 4194304;

// Reads the language file of the process-wide skin archive into the toolkit's
// language-text table in the chosen language and returns the index used; 0 and
// no change when the archive has no usable language file.
int LoadLanguage(int index, const std::wstring& code);

// Reads the bytes of a language file into the toolkit's language-text table:
// the texts of language `index` (0 <= index < 3) of every element with an
// integer id. False, and no change, when the bytes are no JSON array.
bool ReadLanguageTexts(const std::string& bytes, int index);

// The text `id` of the language table, or `fallback` (the program's own
// Chinese text) when the table has none.
std::wstring LanguageText(const wchar_t* id, const wchar_t* fallback);

// The language of the product installed in `folder` (its "config.ini",
// section "Install", key "Language"), loaded as above; the skinned windows are
// laid out again.
int LoadInstalledLanguage(const std::wstring& folder);
