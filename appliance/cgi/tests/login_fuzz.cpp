// Login replies: the input is raw headers, a NUL byte, then the body. The
// second steps read the same headers as their reply.
#include <cstddef>
#include <cstdint>
#include <string>

#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/LoginReplies.h"
#include "appliance/cgi/SecondStepRequests.h"

namespace {

// Answers every request with the fuzzed reply.
class ReplyTransport : public ICgiTransport {
public:
    ReplyTransport(const std::string& headers, const std::string& body) {
        reply_.status = CgiTransportStatus::Ok;
        reply_.headers = headers;
        reply_.body = body;
    }
    CgiReply Exchange(const CgiRequest&, const CgiSession&) override { return reply_; }

private:
    CgiReply reply_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string headers = input.substr(0, split);
    std::string body = split == std::string::npos ? std::string() : input.substr(split + 1);
    LoginReply a, b, c;
    ParseDomainQueryReply(headers, body, a);
    ParseUserLoginReply(headers, body, b);
    ParseGuestLoginReply(headers, body, c);
    ParseDomainList(body);

    ReplyTransport transport(headers, body);
    CgiSession session(transport);
    CgiOtpLogin(session, "123456");
    CgiRsaNewPin(session, "1234", "1234");
    CgiRsaSystemPin(session, true);
    CgiRsaNextCode(session, "444444");
    // The state token read so far goes back in the next request.
    CgiRadiusChallenge(session, "rex");
    return 0;
}
