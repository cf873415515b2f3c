#include "utils/signature.h"

namespace Utils {

SignatureCheck VerifySignature(const std::wstring& path, const std::wstring& publisher) {
    HeldFile file(path);
    return VerifySignature(file, publisher);
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
