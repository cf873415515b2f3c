#include "toolkit/archive.h"

#include <algorithm>
#include <cstring>
#include <map>

extern "C" {
#include "7z.h"
#include "7zAlloc.h"
#include "7zCrc.h"
}

namespace toolkit {
namespace {

// Nothing in a skin comes near this: a larger block, dictionary or model size
// read from an archive is refused (the decoder reports it as an error) rather
// than reserved.
constexpr size_t kMaxAllocation = size_t{256} << 20;

void* SzAllocFn(ISzAllocPtr, size_t size) {
    if (size == 0 || size > kMaxAllocation) return nullptr;
    return ::operator new(size, std::nothrow);
}
void SzFreeFn(ISzAllocPtr, void* address) { ::operator delete(address); }
const ISzAlloc kAlloc = {SzAllocFn, SzFreeFn};

// A seekable input stream over bytes in memory.
struct MemoryInStream {
    ISeekInStream vt;
    const unsigned char* data;
    size_t size;
    size_t pos;
};

SRes MemRead(ISeekInStreamPtr p, void* buf, size_t* size) {
    auto* s = reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
    size_t n = std::min(*size, s->size - s->pos);
    if (n) std::memcpy(buf, s->data + s->pos, n);
    s->pos += n;
    *size = n;
    return SZ_OK;
}

SRes MemSeek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    auto* s = reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
    Int64 base = origin == SZ_SEEK_SET ? 0 : origin == SZ_SEEK_CUR ? static_cast<Int64>(s->pos)
                                                                    : static_cast<Int64>(s->size);
    Int64 target = base + *pos;
    if (target < 0 || target > static_cast<Int64>(s->size)) return SZ_ERROR_PARAM;
    s->pos = static_cast<size_t>(target);
    *pos = target;
    return SZ_OK;
}

std::once_flag g_crcOnce;

}  // namespace

struct SkinArchive::Impl {
    std::string bytes;
    MemoryInStream stream{};
    CLookToRead2 look{};
    std::vector<unsigned char> lookBuf;
    CSzArEx db{};
    bool dbOpen = false;
    std::map<std::wstring, UInt32> index;  // normalised name -> file index
    std::vector<std::wstring> names;
    // Block cache of the decoder (one solid block: decoded once).
    UInt32 blockIndex = 0xFFFFFFFF;
    Byte* outBuffer = nullptr;
    size_t outBufferSize = 0;

    ~Impl() {
        if (outBuffer) ISzAlloc_Free(&kAlloc, outBuffer);
        if (dbOpen) SzArEx_Free(&db, &kAlloc);
    }
};

SkinArchive::SkinArchive() : m_impl(std::make_unique<Impl>()) {}
SkinArchive::~SkinArchive() = default;

std::wstring SkinArchive::NormalizeName(std::wstring_view name) {
    std::wstring s(name);
    for (auto& c : s) {
        if (c == L'/') c = L'\\';
        else if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return s;
}

std::unique_ptr<SkinArchive> SkinArchive::Open(std::string bytes, std::wstring* error) {
    std::call_once(g_crcOnce, [] { CrcGenerateTable(); });
    std::unique_ptr<SkinArchive> archive(new SkinArchive());
    Impl& im = *archive->m_impl;
    im.bytes = std::move(bytes);
    im.stream.vt.Read = MemRead;
    im.stream.vt.Seek = MemSeek;
    im.stream.data = reinterpret_cast<const unsigned char*>(im.bytes.data());
    im.stream.size = im.bytes.size();
    im.lookBuf.resize(1 << 16);
    LookToRead2_CreateVTable(&im.look, False);
    im.look.buf = im.lookBuf.data();
    im.look.bufSize = im.lookBuf.size();
    im.look.realStream = &im.stream.vt;
    LookToRead2_INIT(&im.look);
    SzArEx_Init(&im.db);
    SRes res = SzArEx_Open(&im.db, &im.look.vt, &kAlloc, &kAlloc);
    if (res != SZ_OK) {
        if (error) *error = L"not a readable 7z archive (error " + std::to_wstring(res) + L")";
        return nullptr;
    }
    im.dbOpen = true;
    std::vector<UInt16> name;
    for (UInt32 i = 0; i < im.db.NumFiles; ++i) {
        if (SzArEx_IsDir(&im.db, i)) continue;
        size_t len = SzArEx_GetFileNameUtf16(&im.db, i, nullptr);
        name.assign(len, 0);
        SzArEx_GetFileNameUtf16(&im.db, i, name.data());
        std::wstring w;
        for (size_t k = 0; k + 1 < len; ++k) w.push_back(static_cast<wchar_t>(name[k]));  // BMP names only
        im.index.emplace(NormalizeName(w), i);
        im.names.push_back(std::move(w));
    }
    return archive;
}

long SkinArchive::Find(std::wstring_view name) const {
    auto it = m_impl->index.find(NormalizeName(name));
    return it == m_impl->index.end() ? -1 : static_cast<long>(it->second);
}

int64_t SkinArchive::FileSize(std::wstring_view name) const {
    long i = Find(name);
    if (i < 0) return -1;
    return static_cast<int64_t>(SzArEx_GetFileSize(&m_impl->db, static_cast<UInt32>(i)));
}

bool SkinArchive::ReadFile(std::wstring_view name, std::string& out, uint64_t maxSize) const {
    long i = Find(name);
    if (i < 0) return false;
    Impl& im = *m_impl;
    if (SzArEx_GetFileSize(&im.db, static_cast<UInt32>(i)) > maxSize) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t offset = 0, size = 0;
    SRes res = SzArEx_Extract(&im.db, &im.look.vt, static_cast<UInt32>(i), &im.blockIndex, &im.outBuffer,
                              &im.outBufferSize, &offset, &size, &kAlloc, &kAlloc);
    if (res != SZ_OK) return false;
    out.assign(reinterpret_cast<const char*>(im.outBuffer) + offset, size);
    return true;
}

std::vector<std::wstring> SkinArchive::Names() const { return m_impl->names; }

// ---------------------------------------------------------------- process-wide state

namespace {
std::mutex g_stateMutex;
std::shared_ptr<SkinArchive> g_archive;
std::map<std::wstring, std::wstring> g_texts;
void (*g_relayout)() = nullptr;
}  // namespace

void SetSkinArchive(std::shared_ptr<SkinArchive> archive) {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    g_archive = std::move(archive);
}

std::shared_ptr<SkinArchive> GetSkinArchive() {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    return g_archive;
}

void SetLanguageText(const std::wstring& id, const std::wstring& text) {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    g_texts[id] = text;
}

bool GetLanguageText(const std::wstring& id, std::wstring& text) {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    auto it = g_texts.find(id);
    if (it == g_texts.end()) return false;
    text = it->second;
    return true;
}

void ClearLanguageTexts() {
    std::lock_guard<std::mutex> lock(g_stateMutex);
    g_texts.clear();
}

void SetRelayoutAllHandler(void (*handler)()) { g_relayout = handler; }

void RelayoutAllWindows() {
    if (g_relayout) g_relayout();
}

}  // namespace toolkit
