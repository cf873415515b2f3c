#pragma once
// The skin archive: a 7z archive held in memory (the executable's "ZIPRES"
// resource, or a file in tests), read with the LZMA SDK. Names are looked up
// ignoring letter case, with "/" and "\" as the same separator.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace toolkit {

class SkinArchive {
public:
    ~SkinArchive();
    SkinArchive(const SkinArchive&) = delete;
    SkinArchive& operator=(const SkinArchive&) = delete;

    // Opens an archive from its bytes (kept by the object). nullptr with a
    // reason in `error` when the bytes are not a readable 7z archive.
    static std::unique_ptr<SkinArchive> Open(std::string bytes, std::wstring* error = nullptr);

    // Unpacked size of a file, or -1 when the archive has no such file.
    int64_t FileSize(std::wstring_view name) const;
    // Reads a whole file. False when it is missing, larger than `maxSize`, or
    // cannot be decoded.
    bool ReadFile(std::wstring_view name, std::string& out, uint64_t maxSize = UINT64_MAX) const;
    // Names of the files (not folders), as stored.
    std::vector<std::wstring> Names() const;

    // The same form for a name and a stored name: lower case, "\" separators.
    static std::wstring NormalizeName(std::wstring_view name);

private:
    SkinArchive();
    long Find(std::wstring_view name) const;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    mutable std::mutex m_mutex;  // the decoder's block cache is shared
};

// The process-wide skin archive used by the skinned windows (nullptr until set).
void SetSkinArchive(std::shared_ptr<SkinArchive> archive);
std::shared_ptr<SkinArchive> GetSkinArchive();

// Language texts: text id (as decimal text) -> text.
void SetLanguageText(const std::wstring& id, const std::wstring& text);
bool GetLanguageText(const std::wstring& id, std::wstring& text);
void ClearLanguageTexts();

// Asks every skinned window to lay out and repaint again (no-op until a window
// system registers a handler).
void SetRelayoutAllHandler(void (*handler)());
void RelayoutAllWindows();

}  // namespace toolkit
