#include "core/tunnel/ServiceRequest.h"

#include "core/base/Base64.h"
#include "core/base/UserAgent.h"

std::string BuildServiceConnect(TunnelKind kind, bool isHost, bool isCoordinator, std::string_view sessionId)
{
    const char* service = "PL_CONTROL";
    const char* selector = isCoordinator ? "-3" : "-4";
    if (kind == TunnelKind::Sharing) {
        service = isHost ? "PL-HOST" : "PL-PARTICIPANT";
        selector = isHost ? "-1" : "-2";
    }
    std::string r = "CONNECT localhost:";
    r += selector;
    r += " HTTP/1.0\r\nX-SSLVPN-PROTOCOL: 2.0\r\nX-SSLVPN-SERVICE: ";
    r += service;
    r += "\r\nUser-Agent: ";
    r += kUserAgent;
    r += "\r\nProxy-Authorization: ";
    sessionId = sessionId.substr(0, sessionId.find_first_of("\r\n"));
    r += sessionId.substr(0, kMaxTunnelSessionId);
    r += "\r\n\r\n";
    return r;
}

std::string FormatProxyTarget(std::string_view host, uint16_t port)
{
    std::string r;
    if (host.find(':') != std::string_view::npos) {
        r += '[';
        r += host;
        r += ']';
    } else {
        r += host;
    }
    r += ':';
    r += std::to_string(port);
    return r;
}

std::string BuildProxyConnect(std::string_view target, bool http11, std::string_view basicCredentials)
{
    std::string agent = "User-Agent: ";
    agent += kUserAgent;
    agent += "\r\n";
    std::string r = "CONNECT ";
    r += target;
    r += http11 ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n";
    r += agent;
    r += "HOST: ";
    r += target;
    r += "\r\nContent-Length: 0\r\nProxy-Connection: Keep-Alive\r\n";
    r += "X-SSLVPN-PROTOCOL: 2.0\r\nX-SSLVPN-SERVICE: DH-PROXY\r\n";
    r += agent;
    if (!basicCredentials.empty()) {
        r += "Proxy-Authorization: Basic ";
        r += basicCredentials;
        r += "\r\n";
    }
    r += "\r\n";
    return r;
}

std::string ProxyBasicCredentials(std::string_view user, std::string_view password)
{
    if (user.empty() && password.empty())
        return {};
    std::string plain(user);
    plain += ':';
    plain += password;
    std::string out;
    return Base64Encode(plain.c_str(), out);
}

size_t ProxyReplyReader::Feed(const uint8_t* data, size_t length)
{
    size_t used = 0;
    while (used < length && m_state == State::NeedMore) {
        m_text += static_cast<char>(data[used++]);
        size_t n = m_text.size();
        if (n >= 4 && m_text.compare(n - 4, 4, "\r\n\r\n") == 0)
            m_state = State::Complete;
        else if (n >= kMaxHeader)
            m_state = State::TooLong;
    }
    return used;
}

ProxyReplyReader::Status ProxyReplyReader::GetStatus() const
{
    size_t sp = m_text.find(' ');
    if (sp == std::string::npos || m_text.size() < sp + 4)
        return Status::Refused;
    std::string_view code(m_text.data() + sp + 1, 3);
    if (code == "200")
        return Status::Ok;
    if (code == "407")
        return Status::AuthRequired;
    return Status::Refused;
}
