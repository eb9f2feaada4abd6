#include "core/base/AcceptedCertificate.h"

#include "core/base/Thumbprint.h"

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameHost(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

} // namespace

bool AcceptedCertificate::Covers(const std::string& h, uint16_t p) const
{
    uint8_t digest[kSha1Size];
    return !host.empty() && port == p && SameHost(host, h) && ParseThumbprint(thumbprint, digest);
}

bool AcceptedCertificate::Accepts(const std::string& h, uint16_t p, const std::string& presented) const
{
    return Covers(h, p) && SameThumbprint(thumbprint, presented);
}
