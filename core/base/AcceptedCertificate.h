#pragma once
// The user's acceptance of one appliance certificate that did not verify.
// The HTTPS requests and the tunnels read the same record: it holds for one
// host and port and for that certificate (its SHA-1 thumbprint) only.
#include <cstdint>
#include <string>

struct AcceptedCertificate {
    std::string host;
    uint16_t port = 0;
    std::string thumbprint;  // SHA-1, 40 hex digits (written in lower case)

    // The acceptance applies to a connection to host:port. Host names
    // compare without regard to ASCII case.
    bool Covers(const std::string& h, uint16_t p) const;
    // It applies to host:port and names the certificate with this thumbprint.
    bool Accepts(const std::string& h, uint16_t p, const std::string& presented) const;
};
