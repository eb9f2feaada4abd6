// The login sent again with the client certificate the user chose.
#pragma once

#include <cstdint>

// Whether that login's result takes the login window's usual page switch
// (logged in, a second step, the credentials or portal page, ...) or counts as
// the certificate refused: no reply, a failure without a page of its own, or
// the appliance asking for a certificate once more.
bool CertificateLoginGoesOn(int32_t result, int32_t secondStepKind);
