#pragma once
// One appliance request as the request functions describe it, and the one
// operation that carries it: the WinHTTP client in the program, a test double
// in tests. The request functions stay free of any platform header.
#include <cstdint>
#include <string>
#include <vector>

#include "appliance/cgi/CertificateRecords.h"

struct CgiSession;

struct CgiRequest {
    std::string verb;         // "GET" or "POST"
    std::string path;         // "/cgi-bin/..." with its query
    std::string referrer;
    std::string addHeaders;   // block added to the request before sending ("" = none)
    std::string sendHeaders;  // header argument of the send itself ("" = none)
    std::string body;
    bool binaryBody = false;  // a download: the larger size limit applies
    bool certificateCheck = false;  // the appliance certificate check
};

enum class CgiTransportStatus {
    Ok,             // a reply was received (its headers may still be empty)
    OpenFailed,     // the request could not be opened
    HeadersFailed,  // the header block could not be added
    SendFailed,     // sending or receiving failed; error holds the reason
};

// WinHTTP error numbers the request functions act on.
constexpr uint32_t kErrorSecureFailure = 12175;        // server certificate refused
constexpr uint32_t kErrorSecureChannel = 12157;        // TLS failed (Wine's form of the above)
constexpr uint32_t kErrorClientCertNeeded = 12044;     // the server asks for a client certificate
constexpr uint32_t kErrorBadReply = 12152;             // a cut, undecodable or oversized reply

// Largest reply bodies taken, as received and as decoded: text replies and
// the client installer.
constexpr size_t kMaxTextReply = 16u << 20;
constexpr size_t kMaxDownload = 256u << 20;

struct CgiReply {
    CgiTransportStatus status = CgiTransportStatus::OpenFailed;
    uint32_t error = 0;
    std::string headers;  // raw response headers, CRLF separated
    std::string body;
    // After kErrorSecureFailure: the refused certificate, when it could be read.
    bool serverCertRead = false;
    ServerCertDetails serverCert;
    // The WINHTTP_CALLBACK_STATUS_FLAG_ bits of what was wrong with it.
    uint32_t secureFailureFlags = 0;
    // After kErrorClientCertNeeded: the user's certificates the server accepts.
    bool clientCertStoreRead = false;
    std::vector<ClientCertEntry> clientCerts;
};

class ICgiTransport {
public:
    virtual ~ICgiTransport() = default;
    virtual CgiReply Exchange(const CgiRequest& request, const CgiSession& session) = 0;
};
