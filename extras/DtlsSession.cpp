#include "extras/DtlsSession.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>

namespace voice {

std::vector<uint8_t> BuildDtlsHello(bool listener, const std::string& sessionId, const std::string& launchParams)
{
    std::vector<uint8_t> hello(kHelloBytes, 0);
    hello[1] = listener ? 1 : 0;
    std::copy_n(sessionId.begin(), std::min(sessionId.size(), kHelloFieldBytes), hello.begin() + 2);
    std::copy_n(launchParams.begin(), std::min(launchParams.size(), kHelloFieldBytes),
                hello.begin() + 2 + kHelloFieldBytes);
    return hello;
}

ReadStep ClassifySslError(int sslError, int sysError, bool timerExpired)
{
    switch (sslError) {
    case SSL_ERROR_NONE:
    case SSL_ERROR_ZERO_RETURN:
        return ReadStep::Proceed;
    case SSL_ERROR_WANT_READ:
        return timerExpired ? ReadStep::Proceed : ReadStep::Retry;
    case SSL_ERROR_SYSCALL:
        // 4 and 13 are the C run-time's EINTR and EACCES on every platform
        // we build for.
        return sysError == 0 || sysError == EINTR || sysError == EACCES ? ReadStep::Proceed : ReadStep::GiveUp;
    default:
        return ReadStep::GiveUp;
    }
}

} // namespace voice
