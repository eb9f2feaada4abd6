#pragma once
// Certificates as the requests and the certificate prompts see them, without
// any platform type: the appliance's certificate is kept as its DER bytes.
#include "core/base/AcceptedCertificate.h"

#include <cstdint>
#include <string>
#include <vector>

// A client certificate the appliance will accept.
struct ClientCertEntry {
    std::string subject;     // simple display name
    std::string issuer;      // simple display name
    std::string thumbprint;  // SHA-1, 40 lower-case hex digits
};

// The appliance certificate that failed the checks, for the certificate alert.
struct ServerCertDetails {
    std::string subject;
    std::string issuer;
    std::string notBefore;  // "YYYY-MM-DD hh:mm:ss" UTC
    std::string notAfter;
    std::string protocol;
    std::string signatureAlgorithm;
    std::string encryptionAlgorithm;
    uint32_t keySize = 0;
    std::vector<uint8_t> der;
    std::string thumbprint;  // SHA-1, 40 lower-case hex digits
};
