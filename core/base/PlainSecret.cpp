#include "core/base/PlainSecret.h"

#include <cstring>

#include "core/base/SecureZero.h"
#include "core/base/StoredSecret.h"

PlainSecret::PlainSecret(const s_mem& secret) {
    if (secret.IsEmpty()) return;
    s_mem plain;
    if (DecryptStoredString(plain, secret)) {
        const char* text = reinterpret_cast<const char*>(plain.Data());
        m_text.assign(text, strnlen(text, plain.Length()));
    }
    plain.Clear();
}

PlainSecret::~PlainSecret() {
    if (!m_text.empty()) SecureZero(&m_text[0], m_text.size());
}
