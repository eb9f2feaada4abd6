#pragma once
// Carries the appliance requests over WinHTTP.
#include "appliance/cgi/CgiTransport.h"

class WinHttpTransport : public ICgiTransport {
public:
    CgiReply Exchange(const CgiRequest& request, const CgiSession& session) override;

private:
    CgiReply ExchangeSteps(const CgiRequest& request, const CgiSession& session, bool& sending);
};

// Largest reply bodies taken: text replies and the client installer.
constexpr size_t kMaxTextReply = 16u << 20;
constexpr size_t kMaxDownload = 256u << 20;
