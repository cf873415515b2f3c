#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "utils/md5.h"

namespace Utils {

struct Md5::Impl {
    BCRYPT_ALG_HANDLE alg = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<unsigned char> object;
    bool ok = false;
    ULONG size = 16;
};

Md5::Md5(DigestKind kind) : m_impl(std::make_unique<Impl>()) {
    Impl& d = *m_impl;
    d.size = kind == DigestKind::Sha256 ? 32 : 16;
    const wchar_t* algorithm = kind == DigestKind::Sha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_MD5_ALGORITHM;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&d.alg, algorithm, nullptr, 0))) {
        d.alg = nullptr;
        return;
    }
    DWORD objectSize = 0, got = 0;
    if (!BCRYPT_SUCCESS(BCryptGetProperty(d.alg, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectSize),
                                          sizeof(objectSize), &got, 0)))
        return;
    d.object.resize(objectSize);
    if (!BCRYPT_SUCCESS(BCryptCreateHash(d.alg, &d.hash, d.object.data(), objectSize, nullptr, 0, 0))) {
        d.hash = nullptr;
        return;
    }
    d.ok = true;
}

Md5::~Md5() {
    if (m_impl->hash) BCryptDestroyHash(m_impl->hash);
    if (m_impl->alg) BCryptCloseAlgorithmProvider(m_impl->alg, 0);
}

bool Md5::Valid() const { return m_impl->ok; }

void Md5::Update(const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (m_impl->ok && size > 0) {
        ULONG chunk = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        m_impl->ok = BCRYPT_SUCCESS(BCryptHashData(m_impl->hash, const_cast<PUCHAR>(p), chunk, 0));
        p += chunk;
        size -= chunk;
    }
}

std::string Md5::HexDigest() {
    if (!m_impl->ok) return {};
    unsigned char digest[32];
    m_impl->ok = false;
    if (!BCRYPT_SUCCESS(BCryptFinishHash(m_impl->hash, digest, m_impl->size, 0))) return {};
    return HexLower(digest, m_impl->size);
}

}  // namespace Utils
