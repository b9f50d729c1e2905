// Test-only tool: makes the Wine test prefix trust the loopback server's test
// certificate authority by adding it to the current user's "Root" store.
// Usage: trust_test_ca.exe <ca.pem>
// On Windows this would ask the user; it is never part of the installer.

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_test_ca <ca.pem>\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (pem.empty()) {
        std::fprintf(stderr, "cannot read %ls\n", argv[1]);
        return 1;
    }
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr)) {
        std::fprintf(stderr, "not a PEM certificate: error %lu\n", GetLastError());
        return 1;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                         &size, nullptr, nullptr);

    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!root) {
        std::fprintf(stderr, "cannot open the Root store: error %lu\n", GetLastError());
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    const DWORD error = GetLastError();
    CertCloseStore(root, 0);
    if (!added) {
        std::fprintf(stderr, "cannot add the certificate: error %lu\n", error);
        return 1;
    }
    std::printf("test CA trusted\n");
    return 0;
}
