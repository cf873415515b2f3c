// Test tool: adds a root certificate (DER file) to the machine's trusted root
// store, so that programs signed with the build's throw-away test certificates
// verify in the test Wine prefix. Never part of what is shipped.
//   trust-root.exe ROOT.der
// It ends with a summary line in GoogleTest's format, which the Wine test
// runner (cmake/wine-run.sh) takes as the proof that a program really ran.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust-root ROOT.der\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<unsigned char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        std::fprintf(stderr, "trust-root: cannot read the certificate\n");
        return 1;
    }
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) {
        std::fprintf(stderr, "trust-root: cannot open the root store (error %lu)\n", ::GetLastError());
        return 1;
    }
    BOOL ok = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(),
                                                 static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                 nullptr);
    DWORD error = ::GetLastError();
    ::CertCloseStore(store, 0);
    if (!ok) {
        std::fprintf(stderr, "trust-root: adding the certificate failed (error %lu)\n", error);
        std::printf("[  FAILED  ] 1 test, trusting the root\n");
        return 1;
    }
    std::printf("trust-root: root certificate trusted\n[  PASSED  ] 1 test.\n");
    return 0;
}
