// Adds a DER certificate to the Wine prefix's trusted root store, so that the test servers'
// authority is trusted there and nowhere else.
#include <windows.h>

// After windows.h, which defines its types.
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("uso: trust_ca CERT.der\n", stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<BYTE> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        std::fputs("no se pudo leer el certificado\n", stderr);
        return 1;
    }
    if (!CertAddEncodedCertificateToSystemStoreW(L"ROOT", der.data(), static_cast<DWORD>(der.size()))) {
        std::fprintf(stderr, "CertAddEncodedCertificateToSystemStore: %lu\n", GetLastError());
        return 1;
    }
    std::puts("trusted");
    return 0;
}
