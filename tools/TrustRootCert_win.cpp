// corvisk_trust_ca.exe: adds a certificate authority to the current user's
// trusted roots, so that Corvisk accepts the certificates of a local
// appliance signed by it (scripts/run). An existing copy is replaced, so a
// second run changes nothing.
// Usage: corvisk_trust_ca.exe CA.der
#include "core/base/WinHandle.h"
#include "tools/TrustRoot_win.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

// A certificate is a few kilobytes; anything far larger is not one.
constexpr LONGLONG kMaxCertificateSize = 64 * 1024;

bool ReadCertificateFile(const wchar_t* path, std::vector<BYTE>& out)
{
    WinHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        std::fwprintf(stderr, L"corvisk_trust_ca: cannot open %ls (error %lu)\n", path, GetLastError());
        return false;
    }
    if (size.QuadPart <= 0 || size.QuadPart > kMaxCertificateSize) {
        std::fwprintf(stderr, L"corvisk_trust_ca: %ls is not a certificate (%lld bytes)\n", path,
                      static_cast<long long>(size.QuadPart));
        return false;
    }
    out.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file.get(), out.data(), static_cast<DWORD>(out.size()), &got, nullptr) ||
        got != out.size()) {
        std::fwprintf(stderr, L"corvisk_trust_ca: cannot read %ls (error %lu)\n", path, GetLastError());
        return false;
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fwprintf(stderr, L"usage: corvisk_trust_ca CA.der\n");
        return 2;
    }
    std::vector<BYTE> der;
    if (!ReadCertificateFile(argv[1], der))
        return 1;
    if (unsigned long error = TrustRootCertificate(der.data(), der.size())) {
        std::fwprintf(stderr, L"corvisk_trust_ca: %ls is not a DER certificate the store takes (error 0x%08lx)\n",
                      argv[1], error);
        return 1;
    }
    return 0;
}
