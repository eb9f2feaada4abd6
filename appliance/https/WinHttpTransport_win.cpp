#include "appliance/https/WinHttpTransport_win.h"

#include <exception>

#include "appliance/https/CHttpsClient_win.h"
#include "appliance/cgi/CgiSession.h"

namespace {

void Prepare(CHttpsClient& client, const CgiRequest& request, const CgiSession& session) {
    if (session.proxy.InUse()) client.SetProxy(session.proxy);
    client.SetObjectPath(request.path);
    client.SetUserAgent();
    client.SetServer(session.applianceHost);
    client.port = session.appliancePort;
    client.SetHttpVersion();
    client.SetTimeout(session.timeoutMs);
    client.SetReferrer(request.referrer);
    client.AcceptCertificate(session.acceptedCert);
    if (!session.clientCert.empty()) client.SetClientCertificate(session.clientCert);
}

// Wine reports a certificate that does not verify as a failed secure channel
// and cannot show which certificate it was. A second handshake that takes any
// certificate, made only for the request that checks the certificate (it
// carries no credentials), tells whether the certificate was the cause and
// which one it is.
bool ProbeRefusedCertificate(const CgiRequest& request, const CgiSession& session,
                             ServerCertDetails& cert, uint32_t& failureFlags) {
    CHttpsClient probe;
    Prepare(probe, request, session);
    probe.ProbeCertificateOnly();
    if (!probe.OpenRequest(request.verb.c_str())) return false;
    probe.Send(nullptr, std::string());
    failureFlags = probe.SecureFailureFlags();
    return probe.QueryServerCertificate(cert);
}

}  // namespace

CgiReply WinHttpTransport::Exchange(const CgiRequest& request, const CgiSession& session) {
    // The request functions never throw: a failed allocation here (a copied
    // setting, the reply's headers, a certificate's details) is a failed
    // exchange, counted as sent once sending began.
    bool sending = false;
    try {
        return ExchangeSteps(request, session, sending);
    } catch (const std::exception&) {
        CgiReply failed;
        failed.status = sending ? CgiTransportStatus::SendFailed : CgiTransportStatus::OpenFailed;
        failed.error = ERROR_NOT_ENOUGH_MEMORY;
        return failed;
    }
}

CgiReply WinHttpTransport::ExchangeSteps(const CgiRequest& request, const CgiSession& session,
                                         bool& sending) {
    CgiReply reply;
    CHttpsClient client;
    Prepare(client, request, session);
    if (!client.OpenRequest(request.verb.c_str())) {
        reply.status = CgiTransportStatus::OpenFailed;
        reply.error = client.ErrorCode();
        return reply;
    }
    if (!request.addHeaders.empty() && !client.AddHeaders(request.addHeaders)) {
        reply.status = CgiTransportStatus::HeadersFailed;
        reply.error = client.ErrorCode();
        return reply;
    }
    sending = true;
    if (!client.Send(request.sendHeaders.empty() ? nullptr : &request.sendHeaders, request.body)) {
        reply.status = CgiTransportStatus::SendFailed;
        reply.error = client.ErrorCode();
        reply.secureFailureFlags = client.SecureFailureFlags();
        if (reply.error == kErrorSecureFailure) {
            reply.serverCertRead = client.QueryServerCertificate(reply.serverCert);
        } else if (reply.error == kErrorSecureChannel && request.certificateCheck &&
                   ProbeRefusedCertificate(request, session, reply.serverCert, reply.secureFailureFlags)) {
            reply.error = kErrorSecureFailure;
            reply.serverCertRead = true;
        } else if (reply.error == kErrorClientCertNeeded) {
            reply.clientCertStoreRead = client.SelectClientCertificate(reply.clientCerts);
        }
        return reply;
    }
    reply.status = CgiTransportStatus::Ok;
    reply.headers = client.QueryRawHeaders();
    if (!client.ReadResponse(reply.body, request.binaryBody ? kMaxDownload : kMaxTextReply)) {
        // A cut or oversized body is no reply at all.
        reply.status = CgiTransportStatus::SendFailed;
        reply.error = client.ErrorCode();
        reply.headers.clear();
        reply.body.clear();
    }
    return reply;
}
