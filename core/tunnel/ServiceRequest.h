#pragma once
// Texts of the tunnel set-up: the proxy's CONNECT request and its reply, and
// the service request sent inside TLS that names the meeting service.
#include "core/tunnel/TunnelFrame.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The longest session id the appliance keeps: the service request and the
// control tunnel's hello both send at most this many characters of it, so the
// two name the same session.
constexpr size_t kMaxTunnelSessionId = 127;

// The control tunnel asks for selector -3 (coordinator) or -4; the sharing
// tunnel for "PL-HOST" -1 or "PL-PARTICIPANT" -2. The session id ends at the
// first line break and is cut to kMaxTunnelSessionId.
std::string BuildServiceConnect(TunnelKind kind, bool isHost, bool isCoordinator, std::string_view sessionId);

// "host:port", with an IPv6 literal in square brackets.
std::string FormatProxyTarget(std::string_view host, uint16_t port);

// The whole request to an HTTP proxy for a CONNECT to target. basicCredentials
// is the Base64 form of "user:password"; empty sends no Proxy-Authorization.
std::string BuildProxyConnect(std::string_view target, bool http11, std::string_view basicCredentials);

// The Base64 credentials of a Proxy-Authorization line: "user:password"
// ("user:" or ":password" when one part is empty); empty when both are.
std::string ProxyBasicCredentials(std::string_view user, std::string_view password);

// Collects a proxy's reply header one received piece at a time, up to a fixed
// limit, so a peer that never ends its header cannot make us read forever.
class ProxyReplyReader {
public:
    static constexpr size_t kMaxHeader = 8192;
    enum class State { NeedMore, Complete, TooLong };
    enum class Status { Ok, AuthRequired, Refused };

    // Takes bytes up to the end of the header; returns how many it used, so
    // bytes after the header (the tunnelled stream) stay with the caller.
    size_t Feed(const uint8_t* data, size_t length);
    State GetState() const { return m_state; }
    // Meaningful once Complete: the three characters after the first space.
    Status GetStatus() const;
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
    State m_state = State::NeedMore;
};
