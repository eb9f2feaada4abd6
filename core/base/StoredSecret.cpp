#include "core/base/StoredSecret.h"

#include "core/base/NEncoder.h"
#include "core/base/SecureRandom.h"
#include "core/base/SecureZero.h"

#include <cstdint>
#include <cstring>
#include <utility>

int EncryptStoredString(char* text, s_mem& out)
{
    if (!text || !*text)
        return 0;
    uint8_t random[NEncoder::kKeySize / 4];
    uint8_t key[NEncoder::kKeySize] = {};
    int result = 0;
    if (SecureRandomBytes(random, sizeof random)) {
        for (size_t i = 0; i < sizeof random; ++i)
            key[4 * i] = random[i];
        s_mem cipher;
        if (NEncoder::AESEncrypt(cipher, key, text, s_mem())) {
            SwapKeyHalves(key);
            s_mem secret;
            secret.Append(key, sizeof key);
            secret.Append(cipher.Data(), cipher.Length());
            if (secret.Length() == sizeof key + cipher.Length()) {
                out = std::move(secret);
                result = 1;
            }
        }
    }
    SecureZero(random, sizeof random);
    SecureZero(key, sizeof key);
    SecureZero(text, std::strlen(text));
    return result;
}

int DecryptStoredString(s_mem& out, const s_mem& secret)
{
    return NEncoder::AESDecrypt(out, secret);
}
