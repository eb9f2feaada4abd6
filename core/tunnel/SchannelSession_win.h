#pragma once
// TLS client over a connected socket through SSPI's Schannel provider,
// loaded at run time. It performs the handshake with a deadline, checks the
// server certificate itself (verified chain for the host name, or the one
// certificate the user accepted for that host), and turns records into
// plaintext and back. Bytes it has to send on its own (handshake tokens,
// renegotiation, close-notify) go through the caller's raw sender, so they
// stay in order with the caller's other writes.
#define SECURITY_WIN32
#include <winsock2.h>
#include <windows.h>
#include <security.h>
#include <schannel.h>

#include "core/base/AcceptedCertificate.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class SchannelSession {
public:
    using RawSender = std::function<bool(const uint8_t*, size_t)>;
    enum class DecryptResult { Ok, Closed, Failed };

    SchannelSession();
    ~SchannelSession();
    SchannelSession(const SchannelSession&) = delete;
    SchannelSession& operator=(const SchannelSession&) = delete;

    // Library and credentials; false when Schannel is not available.
    bool Load();
    // Runs the handshake on the socket until deadline (GetTickCount64). Any
    // ciphertext that arrived behind the last handshake message is kept for
    // the first Decrypt.
    bool Handshake(SOCKET s, const std::string& host, uint64_t deadline, const RawSender& send);
    // True when the server certificate verifies for host or is the one
    // accepted for host:port (the program's one certificate check).
    bool CertificateTrusted(const std::string& host, uint16_t port, const AcceptedCertificate& accepted,
                            std::string& why) const;
    // Plaintext bytes one record holds (known once the handshake is done).
    size_t MaxRecordData() const { return m_sizes.cbMaximumMessage; }
    // One or more records for the plaintext (split at the record size),
    // appended to out.
    bool Encrypt(const uint8_t* data, size_t length, std::vector<uint8_t>& out);
    // Adds received ciphertext; appends whatever plaintext became complete
    // (every whole record in the buffer is decrypted).
    DecryptResult Decrypt(const uint8_t* data, size_t length, std::vector<uint8_t>& plain);
    // Sends close-notify through send; safe to call more than once.
    void Shutdown();
    bool Up() const { return m_up; }

private:
    SECURITY_STATUS Step(const RawSender& send, bool& needMore);
    void Release();

    HMODULE m_lib = nullptr;
    PSecurityFunctionTableW m_sspi = nullptr;
    CredHandle m_cred{};
    CtxtHandle m_ctx{};
    bool m_haveCred = false;
    bool m_haveCtx = false;
    bool m_up = false;
    bool m_handshaking = false;
    std::wstring m_target;
    RawSender m_send;
    SecPkgContext_StreamSizes m_sizes{};
    // Ciphertext not consumed yet: an incomplete record, or a handshake
    // message still being assembled.
    std::vector<uint8_t> m_pending;
};
