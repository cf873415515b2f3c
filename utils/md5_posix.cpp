#include <openssl/evp.h>

#include "utils/md5.h"

namespace Utils {

struct Md5::Impl {
    EVP_MD_CTX* ctx = nullptr;
    bool ok = false;
    unsigned int size = 16;
};

Md5::Md5(DigestKind kind) : m_impl(std::make_unique<Impl>()) {
    m_impl->ctx = EVP_MD_CTX_new();
    m_impl->size = kind == DigestKind::Sha256 ? 32 : 16;
    m_impl->ok = m_impl->ctx &&
                 EVP_DigestInit_ex(m_impl->ctx, kind == DigestKind::Sha256 ? EVP_sha256() : EVP_md5(), nullptr) == 1;
}

Md5::~Md5() {
    if (m_impl->ctx) EVP_MD_CTX_free(m_impl->ctx);
}

bool Md5::Valid() const { return m_impl->ok; }

void Md5::Update(const void* data, size_t size) {
    if (m_impl->ok && size > 0) m_impl->ok = EVP_DigestUpdate(m_impl->ctx, data, size) == 1;
}

std::string Md5::HexDigest() {
    if (!m_impl->ok) return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    m_impl->ok = false;
    if (EVP_DigestFinal_ex(m_impl->ctx, digest, &n) != 1 || n != m_impl->size) return {};
    return HexLower(digest, n);
}

}  // namespace Utils
