#pragma once
// The platform-neutral parts of the voice's DTLS session: the hello record
// that opens it and the reading of SSL_get_error after a read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace voice {

constexpr size_t kHelloBytes = 258;
constexpr size_t kHelloFieldBytes = 128;
constexpr uint8_t kAcknowledge = 0x7F;
constexpr uint8_t kGoodBye = 0x01;

// Byte 0 is 0, byte 1 is 1 for a listener and 0 for a speaker, then the own
// session id and the launch-parameter string, each cut to and zero-padded
// to 128 bytes.
std::vector<uint8_t> BuildDtlsHello(bool listener, const std::string& sessionId, const std::string& launchParams);

enum class ReadStep {
    Proceed,  // check for the peer's close and the stop flag, then read on
    Retry,    // read again at once
    GiveUp,   // the session is broken: leave without a good-bye
};

// sslError is SSL_get_error's answer, sysError the C run-time errno after an
// SSL_ERROR_SYSCALL, timerExpired whether the datagram receive timer ran out.
ReadStep ClassifySslError(int sslError, int sysError, bool timerExpired);

} // namespace voice
