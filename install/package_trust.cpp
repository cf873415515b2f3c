#include "install/package_trust.h"

#include <cwctype>

#include "utils/log.h"
#include "utils/md5.h"
#include "utils/text.h"

namespace install_trust {

bool SignatureRequired(const InstallChoices& choices) {
    if (!choices.publisher.empty() || choices.downloadType == 2) return true;
    const std::wstring scheme = L"https://";
    if (choices.downloadUrl.size() < scheme.size()) return true;
    for (size_t i = 0; i < scheme.size(); ++i)
        if (static_cast<wchar_t>(std::towlower(choices.downloadUrl[i])) != scheme[i]) return true;
    return false;
}

Verdict CheckProgram(const std::wstring& path, const InstallChoices& choices, const wchar_t* what,
                     const std::string& checkedDigest) {
    Verdict verdict;
    auto file = std::make_unique<Utils::HeldFile>(path);
    if (!file->Valid()) {
        verdict.reason = std::wstring(what) + L" cannot be held for its check: " + file->Error();
        DEBUG_LOG(L"%ls refused: %ls\r\n", what, verdict.reason.c_str());
        return verdict;
    }
    if (SignatureRequired(choices)) {
        Utils::SignatureCheck check = Utils::VerifySignature(*file, choices.publisher);
        const std::wstring text = Utils::DescribeSignatureCheck(check);
        if (check.status != Utils::SignatureStatus::Valid) {
            verdict.reason = std::wstring(what) + L" signature check failed: " + text;
            DEBUG_LOG(L"%ls refused: %ls\r\n", what, verdict.reason.c_str());
            return verdict;
        }
        DEBUG_LOG(L"%ls signature: %ls\r\n", what, text.c_str());
    } else {
        DEBUG_LOG(L"%ls arrived over HTTPS, no publisher configured: signature not required\r\n", what);
        Utils::DigestKind kind = Utils::DigestKind::Md5;
        if (Utils::UrlDigestKind(checkedDigest, kind)) {
            const std::string held = Utils::HeldFileDigest(*file, kind);
            if (held.empty() || !Utils::DigestEqual(held, checkedDigest)) {
                verdict.reason = std::wstring(what) + L" changed after its download: digest " +
                                 Utils::Utf8ToWide(held.empty() ? std::string("unreadable") : held) + L", expected " +
                                 Utils::Utf8ToWide(checkedDigest);
                DEBUG_LOG(L"%ls refused: %ls\r\n", what, verdict.reason.c_str());
                return verdict;
            }
        }
    }
    verdict.ok = true;
    verdict.file = std::move(file);
    return verdict;
}

}  // namespace install_trust
