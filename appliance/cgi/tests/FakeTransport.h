#pragma once
// A scripted stand-in for the WinHTTP client: records each request and
// answers with the next queued reply.
#include <deque>
#include <vector>

#include "appliance/cgi/CgiTransport.h"

class FakeTransport : public ICgiTransport {
public:
    CgiReply Exchange(const CgiRequest& request, const CgiSession& session) override;

    // Queues a received reply: status line and header lines (CRLF added), body.
    void Reply(const std::string& headers, const std::string& body);
    void Fail(CgiTransportStatus status, uint32_t error = 0);
    void Queue(CgiReply reply) { replies.push_back(std::move(reply)); }

    // The next exchange throws (as a failed allocation would).
    bool throwNext = false;
    std::vector<CgiRequest> requests;
    std::deque<CgiReply> replies;
};
