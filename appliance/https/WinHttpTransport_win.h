#pragma once
// Carries the appliance requests over WinHTTP.
#include "appliance/cgi/CgiTransport.h"

class WinHttpTransport : public ICgiTransport {
public:
    CgiReply Exchange(const CgiRequest& request, const CgiSession& session) override;

private:
    CgiReply ExchangeSteps(const CgiRequest& request, const CgiSession& session, bool& sending);
};
