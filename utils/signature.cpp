#include "utils/signature.h"

#include <vector>

namespace Utils {

SignatureCheck VerifySignature(const std::wstring& path, const std::wstring& publisher) {
    HeldFile file(path);
    return VerifySignature(file, publisher);
}

std::string HeldFileDigest(const HeldFile& file, DigestKind kind) {
    if (!file.Valid()) return {};
    Md5 hash(kind);
    if (!hash.Valid()) return {};
    std::vector<unsigned char> buffer(1 << 20);
    int64_t offset = 0;
    for (;;) {
        size_t got = 0;
        if (!file.ReadAt(offset, buffer.data(), buffer.size(), got)) return {};
        if (got == 0) break;
        hash.Update(buffer.data(), got);
        offset += static_cast<int64_t>(got);
    }
    return hash.HexDigest();
}

std::wstring DescribeSignatureCheck(const SignatureCheck& check) {
    std::wstring text;
    switch (check.status) {
    case SignatureStatus::Valid:
        text = L"valid";
        break;
    case SignatureStatus::Unsigned:
        text = L"unsigned";
        break;
    case SignatureStatus::Invalid:
        text = L"invalid signature";
        break;
    case SignatureStatus::WrongPublisher:
        text = L"wrong publisher";
        break;
    case SignatureStatus::Unavailable:
        text = L"signature not checkable";
        break;
    }
    if (!check.signer.empty()) text += L", signed by \"" + check.signer + L"\"";
    if (!check.detail.empty()) text += L" (" + check.detail + L")";
    return text;
}

}  // namespace Utils
