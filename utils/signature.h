#pragma once
// Whether a program file is what its maker signed: the file is first held open
// so that nobody can change, rename or delete it, then its signature is
// checked on that very handle, and the same handle is kept until the program
// has been started from it.
//
// Windows: Authenticode through WinVerifyTrust (the whole chain, revocation
// from the cache only) and the signer's subject name from the verified chain;
// wintrust.dll and crypt32.dll are loaded from System32 when first needed.
//
// POSIX builds (the host tests only; nothing POSIX is shipped) have no
// Authenticode. Their stand-in is a trailing block at the end of the file,
// written by tools/demo-package/sign_posix.py:
//   "\n--velqor-test-signature--\npublisher=<name>\nsha256=<64 hex>\n"
// where the digest covers every byte before the block. It proves nothing
// against an attacker; it only lets the host tests drive every path that the
// Windows check has (valid, unsigned, altered, other publisher).
#include <memory>
#include <string>

#include "utils/child_process.h"  // NativeHandle
#include "utils/md5.h"

namespace Utils {

// A file opened for reading that others may read but not write, rename or
// delete while this object lives.
class HeldFile {
public:
    // Opens path; Valid() says whether that worked.
    explicit HeldFile(const std::wstring& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool Valid() const { return m_handle != kNullHandle; }
    const std::wstring& Path() const { return m_path; }
    NativeHandle Handle() const { return m_handle; }
    // The system's error text when the open failed.
    const std::wstring& Error() const { return m_error; }
    // Reads up to size bytes at offset through the held handle; got is 0 at
    // the end. False when the read failed.
    bool ReadAt(int64_t offset, void* buffer, size_t size, size_t& got) const;

private:
    std::wstring m_path;
    NativeHandle m_handle = kNullHandle;
    std::wstring m_error;
};

enum class SignatureStatus {
    Valid,           // signed, chain to a trusted root, publisher as asked
    Unsigned,        // no signature at all
    Invalid,         // a signature that does not hold (altered file, untrusted or revoked chain, ...)
    WrongPublisher,  // valid, but signed by someone else
    Unavailable,     // the check itself could not be made (file not held, system DLL missing)
};

struct SignatureCheck {
    SignatureStatus status = SignatureStatus::Unavailable;
    std::wstring signer;  // the signer's subject name when one was read
    std::wstring detail;  // what the system said, for the diagnostic line
};

// Checks the signature of the held file. publisher empty: any valid signature
// passes; otherwise the signer's subject name must equal it exactly.
SignatureCheck VerifySignature(const HeldFile& file, const std::wstring& publisher);
// The same for a path, held only during the check.
SignatureCheck VerifySignature(const std::wstring& path, const std::wstring& publisher);

// The digest of the held file's content, read through its handle (so of the
// very file that was held, whatever has happened to its path since); empty
// when it cannot be read.
std::string HeldFileDigest(const HeldFile& file, DigestKind kind);

// One line for the diagnostic log and the failure report, e.g.
// "unsigned (0x800B0100)" or "signed by \"Other Ltd\", expected \"Velqor Ltd\"".
std::wstring DescribeSignatureCheck(const SignatureCheck& check);

}  // namespace Utils
