// Authenticode check of a held file: WinVerifyTrust with the generic verify
// action on the file's own handle, revocation checked for the whole chain from
// the cache only (no network fetch while the user waits), then the signer's
// subject name from the chain WinVerifyTrust built. wintrust.dll and
// crypt32.dll are not KnownDLLs: they are loaded from System32 only, when the
// first check is made (never from the installer's folder).
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cwchar>
#include <string>

#include "utils/signature.h"
#include "utils/system_library_win.h"

namespace Utils {

HeldFile::HeldFile(const std::wstring& path) : m_path(path) {
    // Others may read (and so start) the file, but not write, rename or delete
    // it while it is held.
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        wchar_t text[32];
        std::swprintf(text, 32, L"error %lu", ::GetLastError());
        m_error = text;
        return;
    }
    m_handle = reinterpret_cast<NativeHandle>(h);
}

HeldFile::~HeldFile() {
    if (m_handle != kNullHandle) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool HeldFile::ReadAt(int64_t offset, void* buffer, size_t size, size_t& got) const {
    got = 0;
    if (m_handle == kNullHandle) return false;
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD n = 0;
    const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!::ReadFile(reinterpret_cast<HANDLE>(m_handle), buffer, want, &n, &at))
        return ::GetLastError() == ERROR_HANDLE_EOF;
    got = n;
    return true;
}

namespace {

using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProvDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProvSignerFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using GetNameFn = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

struct TrustApi {
    WinVerifyTrustFn verify = nullptr;
    ProvDataFn provData = nullptr;
    ProvSignerFn provSigner = nullptr;
    GetNameFn getName = nullptr;
    bool Ready() const { return verify && provData && provSigner && getName; }
};

// void (*)() is the generic function pointer type that casts to any other
// without a warning.
template <class Fn>
Fn Proc(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name))) : nullptr;
}

// Loaded once; the modules stay loaded for the process's life.
const TrustApi& Api() {
    static const TrustApi api = [] {
        TrustApi a;
        HMODULE wintrust = LoadSystemLibrary(L"wintrust.dll");
        HMODULE crypt32 = LoadSystemLibrary(L"crypt32.dll");
        a.verify = Proc<WinVerifyTrustFn>(wintrust, "WinVerifyTrust");
        a.provData = Proc<ProvDataFn>(wintrust, "WTHelperProvDataFromStateData");
        a.provSigner = Proc<ProvSignerFn>(wintrust, "WTHelperGetProvSignerFromChain");
        a.getName = Proc<GetNameFn>(crypt32, "CertGetNameStringW");
        return a;
    }();
    return api;
}

std::wstring Hex(LONG code) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(code));
    return text;
}

std::wstring SignerName(const TrustApi& api, HANDLE state) {
    CRYPT_PROVIDER_DATA* data = api.provData(state);
    CRYPT_PROVIDER_SGNR* signer = data ? api.provSigner(data, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert) return {};
    PCCERT_CONTEXT cert = signer->pasCertChain[0].pCert;
    DWORD size = api.getName(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (size <= 1) return {};
    std::wstring name(size, L'\0');
    api.getName(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), size);
    name.resize(size - 1);
    return name;
}

}  // namespace

SignatureCheck VerifySignature(const HeldFile& file, const std::wstring& publisher) {
    SignatureCheck check;
    if (!file.Valid()) {
        check.detail = L"cannot open the file: " + file.Error();
        return check;
    }
    const TrustApi& api = Api();
    if (!api.Ready()) {
        check.detail = L"wintrust.dll or crypt32.dll unavailable";
        return check;
    }
    // WINTRUST_ACTION_GENERIC_VERIFY_V2
    GUID action = {0xaac56b, 0xcd44, 0x11d0, {0x8c, 0xc2, 0x00, 0xc0, 0x4f, 0xc2, 0x95, 0xee}};
    WINTRUST_FILE_INFO info{};
    info.cbStruct = sizeof(info);
    info.pcwszFilePath = file.Path().c_str();
    info.hFile = reinterpret_cast<HANDLE>(file.Handle());
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN;
    LONG result = api.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    // Revocation status that is not in the cache is unknown, not revoked: a
    // machine offline or behind a proxy still installs a validly signed
    // package; a revoked certificate (CERT_E_REVOKED) still fails.
    const bool revocationUnknown = result == static_cast<LONG>(CERT_E_REVOCATION_FAILURE) ||
                                   result == static_cast<LONG>(CRYPT_E_REVOCATION_OFFLINE) ||
                                   result == static_cast<LONG>(CRYPT_E_NO_REVOCATION_CHECK);
    if (result == ERROR_SUCCESS || revocationUnknown) check.signer = SignerName(api, data.hWVTStateData);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    api.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

    if (result == ERROR_SUCCESS || revocationUnknown) {
        if (revocationUnknown) check.detail = L"revocation unknown " + Hex(result);
        if (!publisher.empty() && check.signer != publisher) {
            check.status = SignatureStatus::WrongPublisher;
            check.detail = L"expected \"" + publisher + L"\"";
        } else {
            check.status = SignatureStatus::Valid;
        }
        return check;
    }
    check.detail = Hex(result);
    check.status = result == static_cast<LONG>(TRUST_E_NOSIGNATURE) ||
                           result == static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN) ||
                           result == static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN)
                       ? SignatureStatus::Unsigned
                       : SignatureStatus::Invalid;
    return check;
}

}  // namespace Utils
