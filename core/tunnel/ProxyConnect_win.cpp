#include "core/tunnel/ProxyConnect_win.h"

#include "core/tunnel/ApplianceTunnel_win.h"
#include "core/tunnel/ServiceRequest.h"

ProxyConnectStatus ProxyConnect(SOCKET s, const std::string& target, const TunnelProxy& proxy, uint64_t deadline)
{
    std::string request = BuildProxyConnect(target, proxy.http11, proxy.basicCredentials);
    if (!SendAll(s, request.data(), request.size()))
        return ProxyConnectStatus::SendFailed;
    // One byte per recv: nothing of the tunnelled stream is read past the
    // header, and the header is short.
    ProxyReplyReader reader;
    while (reader.GetState() == ProxyReplyReader::State::NeedMore) {
        uint32_t left = MsUntil(deadline);
        if (left == 0 || WaitReadable(s, left) != 1)
            return ProxyConnectStatus::NoReply;
        uint8_t b;
        if (recv(s, reinterpret_cast<char*>(&b), 1, 0) != 1)
            return ProxyConnectStatus::NoReply;
        reader.Feed(&b, 1);
    }
    if (reader.GetState() != ProxyReplyReader::State::Complete)
        return ProxyConnectStatus::Refused;
    switch (reader.GetStatus()) {
    case ProxyReplyReader::Status::Ok: return ProxyConnectStatus::Ok;
    case ProxyReplyReader::Status::AuthRequired: return ProxyConnectStatus::AuthRequired;
    default: return ProxyConnectStatus::Refused;
    }
}
