#pragma once
// Trusting a CA certificate for the current user: the local appliance's CA,
// for scripts/run and for the tests that talk to it over TLS.
#include <cstddef>

// Adds the DER certificate to the current user's trusted roots (replacing an
// equal one). Returns 0 on success, else the system's error code.
unsigned long TrustRootCertificate(const void* der, size_t size);
