#pragma once
// The hello record that opens every control tunnel: one 298-byte frame whose
// tag is stored least significant byte first (0xBB 0xAA), unlike every other
// frame, and which carries a PLP_HELLO meeting packet.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr size_t kTunnelHelloSize = 298;

// role: 1 when the user is the meeting's host, else 0. Texts are cut to fit
// their fields; the meeting id and session id always keep a terminating NUL.
std::array<uint8_t, kTunnelHelloSize> BuildTunnelHello(uint16_t role, std::string_view meetingId,
                                                       std::string_view displayNameUtf8,
                                                       std::string_view sessionId);
