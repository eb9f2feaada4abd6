#pragma once
// The plain text of a StoredSecret for the one request that sends it; wiped
// when it goes out of scope.
#include <string>

#include "core/base/s_mem.h"

class PlainSecret {
public:
    // Empty when the secret is empty or cannot be decrypted.
    explicit PlainSecret(const s_mem& secret);
    ~PlainSecret();
    PlainSecret(const PlainSecret&) = delete;
    PlainSecret& operator=(const PlainSecret&) = delete;

    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};
