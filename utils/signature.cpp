#include "utils/signature.h"

namespace Utils {

SignatureCheck VerifySignature(const std::wstring& path, const std::wstring& publisher) {
    HeldFile file(path);
    return VerifySignature(file, publisher);
}

std::string HeldFileDigest(const HeldFile& file, DigestKind kind) {
    if (!file.Valid()) return {};
    int64_t offset = 0;
    return DigestOfReads(kind, [&](unsigned char* buffer, size_t size, size_t& got) {
        if (!file.ReadAt(offset, buffer, size, got)) return false;
        offset += static_cast<int64_t>(got);
        return true;
    });
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
