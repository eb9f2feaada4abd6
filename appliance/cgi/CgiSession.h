#pragma once
// The appliance request session: the transport, the appliance's address and
// proxy, and the login, meeting and certificate state that the requests read
// and write. One per program, owned by the manager; the requests take it as
// their first argument. Narrow text is UTF-8 throughout.
#include <cstdint>
#include <string>
#include <vector>

#include "appliance/cgi/CertificateRecords.h"
#include "appliance/cgi/CgiLog.h"
#include "appliance/cgi/CgiTransport.h"
#include "appliance/cgi/MeetingRecord.h"
#include "appliance/cgi/ProxyConfig.h"
#include "core/base/s_mem.h"

struct DomainEntry {
    std::string name;
    int32_t authType = 1;
};

struct CgiSession {
    explicit CgiSession(ICgiTransport& t) : transport(&t) {}

    ICgiTransport* transport;
    CgiLog log;

    // Appliance and proxy.
    std::string applianceHost;
    uint16_t appliancePort = 443;
    ProxyConfig proxy;
    // Limit of each of connecting, sending and waiting for the reply.
    uint32_t timeoutMs = 60000;

    // Login.
    std::string sessionId;  // decoded value of the "swap" cookie
    std::wstring displayName;
    s_mem password;  // StoredSecret
    std::string domain;
    std::string portal;
    std::string pendingId;
    std::vector<DomainEntry> domains;
    std::vector<std::string> portals;
    int32_t mayChangePassword = 0;
    int32_t passwordExpiry = 0;
    int32_t passwordExpiryDays = 0;
    int32_t sendClientVersion = 0;
    int32_t signedIn = 0;
    // What the login window shows: kept here, so a request made before any
    // login window exists (a launch from a link) has somewhere to put it.
    std::string serverMessage;
    std::string pstate;  // sent back as received, with its line's CR
    int32_t secondStepKind = 0;
    // The appliance's verdict on a second step: 0 accepted, 1 retry, 2 failed,
    // 3 reset; -1 while the last answer carried none.
    int32_t tfResult = -1;

    // Certificates.
    int32_t clientCertRequired = 0;
    std::string clientCert;  // thumbprint of the chosen client certificate
    std::vector<ClientCertEntry> clientCerts;
    bool serverCertKnown = false;  // serverCert holds the last refused certificate
    ServerCertDetails serverCert;
    // What was wrong with serverCert (WINHTTP_CALLBACK_STATUS_FLAG_ bits), for
    // the certificate alert.
    uint32_t lastSecureFailureFlags = 0;
    AcceptedCertificate acceptedCert;

    // Meetings.
    std::string meetingId;
    std::string meetingName;
    std::string meetingDescription;
    s_mem meetingPassword;  // StoredSecret
    std::vector<MeetingRecord> meetings;
    MeetingRecord currentMeeting;
    // Offset of local time from UTC in minutes (local = UTC + offset), daylight
    // saving included; replaced in tests.
    int32_t (*utcOffsetMinutes)() = CurrentUtcOffsetMinutes;

    static int32_t CurrentUtcOffsetMinutes();
};

// Entry index of clientCerts (0-based) into out: 0, or 1 with out untouched
// when the index is not below the list's size.
int GetClientCertEntry(const CgiSession& session, size_t index, ClientCertEntry& out);
