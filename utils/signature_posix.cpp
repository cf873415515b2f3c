// POSIX stand-in of the signature check (see signature.h): a trailing block
// naming the publisher and the SHA-256 of everything before it. Host tests
// only; it is no protection.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "utils/fs.h"
#include "utils/signature.h"
#include "utils/text.h"

namespace Utils {

HeldFile::HeldFile(const std::wstring& path) : m_path(path) {
    // POSIX has no share modes: the descriptor keeps the checked inode, which a
    // rename over the path would not change.
    int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) m_error = Utf8ToWide(std::strerror(errno));
    else m_handle = fd;
}

HeldFile::~HeldFile() {
    if (m_handle != kNullHandle) ::close(static_cast<int>(m_handle));
}

bool HeldFile::ReadAt(int64_t offset, void* buffer, size_t size, size_t& got) const {
    got = 0;
    if (m_handle == kNullHandle) return false;
    for (;;) {
        ssize_t n = ::pread(static_cast<int>(m_handle), buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        got = static_cast<size_t>(n);
        return true;
    }
}

namespace {

constexpr char kMarker[] = "\n--velqor-test-signature--\npublisher=";

bool ReadAll(int fd, std::string& bytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string Sha256Hex(const char* data, size_t size) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data, size) != 1 || EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

}  // namespace

SignatureCheck VerifySignature(const HeldFile& file, const std::wstring& publisher) {
    SignatureCheck check;
    if (!file.Valid()) {
        check.detail = L"cannot open the file: " + file.Error();
        return check;
    }
    std::string bytes;
    if (!ReadAll(static_cast<int>(file.Handle()), bytes)) {
        check.detail = L"cannot read the file";
        return check;
    }
    size_t at = bytes.rfind(kMarker);
    if (at == std::string::npos) {
        check.status = SignatureStatus::Unsigned;
        check.detail = L"no signature block";
        return check;
    }
    std::string block = bytes.substr(at + sizeof(kMarker) - 1);
    size_t nameEnd = block.find('\n');
    const std::string digestKey = "sha256=";
    if (nameEnd == std::string::npos || block.compare(nameEnd + 1, digestKey.size(), digestKey) != 0) {
        check.status = SignatureStatus::Invalid;
        check.detail = L"malformed signature block";
        return check;
    }
    check.signer = Utf8ToWide(block.substr(0, nameEnd));
    std::string digest = block.substr(nameEnd + 1 + digestKey.size());
    if (!digest.empty() && digest.back() == '\n') digest.pop_back();
    if (digest != Sha256Hex(bytes.data(), at)) {
        check.status = SignatureStatus::Invalid;
        check.detail = L"the file does not match its signature";
        return check;
    }
    check.status = !publisher.empty() && check.signer != publisher ? SignatureStatus::WrongPublisher
                                                                    : SignatureStatus::Valid;
    if (check.status == SignatureStatus::WrongPublisher) check.detail = L"expected \"" + publisher + L"\"";
    return check;
}

}  // namespace Utils
