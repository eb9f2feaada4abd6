#include "appliance/cgi/tests/FakeTransport.h"

#include <new>

CgiReply FakeTransport::Exchange(const CgiRequest& request, const CgiSession&) {
    requests.push_back(request);
    if (throwNext) {
        throwNext = false;
        throw std::bad_alloc();
    }
    if (replies.empty()) return CgiReply{};
    CgiReply r = std::move(replies.front());
    replies.pop_front();
    return r;
}

void FakeTransport::Reply(const std::string& headers, const std::string& body) {
    CgiReply r;
    r.status = CgiTransportStatus::Ok;
    r.headers = headers.empty() ? std::string() : headers + "\r\n\r\n";
    r.body = body;
    replies.push_back(std::move(r));
}

void FakeTransport::Fail(CgiTransportStatus status, uint32_t error) {
    CgiReply r;
    r.status = status;
    r.error = error;
    replies.push_back(std::move(r));
}
