#include "core/tunnel/SchannelSession_win.h"

#include "core/base/CertificateVerifier_win.h"
#include "core/tunnel/SocketHandle_win.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr ULONG kRequestFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

std::wstring Widen(const std::string& s)
{
    // Host names are ASCII (IDNs arrive in their punycode form).
    std::wstring w;
    for (char c : s)
        w += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return w;
}

} // namespace

SchannelSession::SchannelSession() = default;

SchannelSession::~SchannelSession()
{
    Release();
    if (m_lib)
        FreeLibrary(m_lib);
}

bool SchannelSession::Load()
{
    if (m_haveCred)
        return true;
    if (!m_lib) {
        m_lib = LoadLibraryExW(L"secur32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!m_lib)
            m_lib = LoadLibraryW(L"secur32.dll");
        if (!m_lib)
            return false;
        auto init = reinterpret_cast<INIT_SECURITY_INTERFACE_W>(
            reinterpret_cast<void*>(GetProcAddress(m_lib, "InitSecurityInterfaceW")));
        m_sspi = init ? init() : nullptr;
        if (!m_sspi) {
            FreeLibrary(m_lib);
            m_lib = nullptr;
            return false;
        }
    }
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // TLS only: SSL 3.0 stays off.
    cred.grbitEnabledProtocols = SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_2_CLIENT;
    cred.dwFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
    TimeStamp expiry;
    SECURITY_STATUS st = m_sspi->AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                                           SECPKG_CRED_OUTBOUND, nullptr, &cred, nullptr,
                                                           nullptr, &m_cred, &expiry);
    m_haveCred = st == SEC_E_OK;
    return m_haveCred;
}

SECURITY_STATUS SchannelSession::Step(const RawSender& send, bool& needMore)
{
    SecBuffer in[2] = {{static_cast<unsigned long>(m_pending.size()), SECBUFFER_TOKEN, m_pending.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
    ULONG attr = 0;
    SECURITY_STATUS st = m_sspi->InitializeSecurityContextW(
        &m_cred, m_haveCtx ? &m_ctx : nullptr, const_cast<wchar_t*>(m_target.c_str()), kRequestFlags, 0, 0,
        m_haveCtx ? &inDesc : nullptr, 0, m_haveCtx ? nullptr : &m_ctx, &outDesc, &attr, nullptr);
    if (!m_haveCtx && (st == SEC_I_CONTINUE_NEEDED || st == SEC_E_OK))
        m_haveCtx = true;
    needMore = false;
    if (out[0].pvBuffer) {
        // Freed on every status, an incomplete message included.
        bool sent = true;
        if (out[0].cbBuffer > 0 && (st == SEC_E_OK || st == SEC_I_CONTINUE_NEEDED ||
                                    (FAILED(st) && st != SEC_E_INCOMPLETE_MESSAGE &&
                                     (attr & ISC_RET_EXTENDED_ERROR))))
            sent = send(static_cast<const uint8_t*>(out[0].pvBuffer), out[0].cbBuffer);
        m_sspi->FreeContextBuffer(out[0].pvBuffer);
        if (!sent)
            return SEC_E_INTERNAL_ERROR;
    }
    if (st == SEC_E_INCOMPLETE_MESSAGE) {
        needMore = true;
        return SEC_I_CONTINUE_NEEDED;
    }
    if (FAILED(st))
        return st;
    if (st == SEC_I_INCOMPLETE_CREDENTIALS)
        return SEC_E_NO_CREDENTIALS; // no client certificate is offered on the tunnel
    // Input the call did not use stays for the next step (or for decryption).
    if (m_haveCtx && in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0 &&
        in[1].cbBuffer <= m_pending.size()) {
        m_pending.erase(m_pending.begin(), m_pending.end() - in[1].cbBuffer);
    } else if (st != SEC_E_OK || m_haveCtx) {
        m_pending.clear();
    }
    if (st == SEC_I_CONTINUE_NEEDED)
        needMore = m_pending.empty();
    return st;
}

bool SchannelSession::Handshake(SOCKET s, const std::string& host, uint64_t deadline, const RawSender& send)
{
    if (!m_haveCred || m_haveCtx)
        return false;
    m_target = Widen(host);
    m_send = send;
    m_handshaking = true;
    m_pending.clear();
    bool needMore = false;
    SECURITY_STATUS st = Step(send, needMore);
    uint8_t buf[16384];
    while (st == SEC_I_CONTINUE_NEEDED) {
        if (needMore || m_pending.empty()) {
            uint32_t left = MsUntil(deadline);
            if (left == 0 || WaitReadable(s, left) != 1)
                return false;
            int n = recv(s, reinterpret_cast<char*>(buf), sizeof buf, 0);
            if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
                continue; // the socket may be non-blocking; wait again
            if (n <= 0)
                return false;
            m_pending.insert(m_pending.end(), buf, buf + n);
        }
        st = Step(send, needMore);
    }
    if (st != SEC_E_OK)
        return false;
    if (m_sspi->QueryContextAttributesW(&m_ctx, SECPKG_ATTR_STREAM_SIZES, &m_sizes) != SEC_E_OK ||
        m_sizes.cbMaximumMessage == 0)
        return false;
    m_handshaking = false;
    m_up = true;
    return true;
}

bool SchannelSession::CertificateTrusted(const std::string& host, uint16_t port,
                                         const AcceptedCertificate& accepted, std::string& why) const
{
    PCCERT_CONTEXT raw = nullptr;
    if (!m_haveCtx ||
        m_sspi->QueryContextAttributesW(const_cast<CtxtHandle*>(&m_ctx), SECPKG_ATTR_REMOTE_CERT_CONTEXT,
                                        &raw) != SEC_E_OK ||
        !raw) {
        why = "no server certificate";
        return false;
    }
    CertContext cert(raw);
    return VerifyServerCertificate(cert.get(), host, port, accepted, &why) != CertificateVerdict::Refused;
}

bool SchannelSession::Encrypt(const uint8_t* data, size_t length, std::vector<uint8_t>& out)
{
    if (!m_up)
        return false;
    size_t at = 0;
    do {
        size_t n = std::min<size_t>(length - at, m_sizes.cbMaximumMessage);
        size_t base = out.size();
        out.resize(base + m_sizes.cbHeader + n + m_sizes.cbTrailer);
        uint8_t* rec = out.data() + base;
        if (n)
            std::memcpy(rec + m_sizes.cbHeader, data + at, n);
        SecBuffer b[4] = {{m_sizes.cbHeader, SECBUFFER_STREAM_HEADER, rec},
                          {static_cast<unsigned long>(n), SECBUFFER_DATA, rec + m_sizes.cbHeader},
                          {m_sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, rec + m_sizes.cbHeader + n},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        if (m_sspi->EncryptMessage(&m_ctx, 0, &desc, 0) != SEC_E_OK)
            return false;
        // The trailer may come out shorter than its maximum.
        out.resize(base + b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer);
        at += n;
    } while (at < length);
    return true;
}

SchannelSession::DecryptResult SchannelSession::Decrypt(const uint8_t* data, size_t length,
                                                        std::vector<uint8_t>& plain)
{
    if (!m_haveCtx)
        return DecryptResult::Failed;
    m_pending.insert(m_pending.end(), data, data + length);
    // Records are decrypted in place, one after the other; the bytes used up
    // are removed once at the end, not after every record.
    size_t at = 0;
    auto compact = [&] {
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(at));
        at = 0;
    };
    auto keepRest = [&](DecryptResult r) {
        compact();
        return r;
    };
    while (at < m_pending.size()) {
        if (m_handshaking) {
            // A renegotiation the server started: its messages go through the
            // handshake until it completes. The service request is not sent again.
            compact();
            bool needMore = false;
            SECURITY_STATUS st = Step(m_send, needMore);
            if (st == SEC_E_OK) {
                m_handshaking = false;
                m_sspi->QueryContextAttributesW(&m_ctx, SECPKG_ATTR_STREAM_SIZES, &m_sizes);
                continue;
            }
            if (st != SEC_I_CONTINUE_NEEDED)
                return DecryptResult::Failed;
            if (needMore)
                return DecryptResult::Ok;
            continue;
        }
        size_t left = m_pending.size() - at;
        SecBuffer b[4] = {{static_cast<unsigned long>(left), SECBUFFER_DATA, m_pending.data() + at},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr},
                          {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
        SECURITY_STATUS st = m_sspi->DecryptMessage(&m_ctx, &desc, 0, nullptr);
        if (st == SEC_E_INCOMPLETE_MESSAGE)
            return keepRest(DecryptResult::Ok); // the incomplete record stays whole
        if (st == SEC_I_CONTEXT_EXPIRED)
            return keepRest(DecryptResult::Closed);
        if (st != SEC_E_OK && st != SEC_I_RENEGOTIATE)
            return keepRest(DecryptResult::Failed);
        const SecBuffer* extra = nullptr;
        for (const SecBuffer& x : b) {
            if (x.BufferType == SECBUFFER_DATA && x.cbBuffer > 0) {
                const uint8_t* p = static_cast<const uint8_t*>(x.pvBuffer);
                plain.insert(plain.end(), p, p + x.cbBuffer);
            } else if (x.BufferType == SECBUFFER_EXTRA && x.cbBuffer > 0) {
                extra = &x;
            }
        }
        // Only the bytes behind this record remain (never the whole buffer again).
        at = extra && extra->cbBuffer <= left ? m_pending.size() - extra->cbBuffer : m_pending.size();
        if (st == SEC_I_RENEGOTIATE) {
            m_handshaking = true;
            if (at == m_pending.size()) {
                compact();
                bool needMore = false;
                SECURITY_STATUS hs = Step(m_send, needMore);
                if (hs == SEC_E_OK)
                    m_handshaking = false;
                else if (hs != SEC_I_CONTINUE_NEEDED)
                    return keepRest(DecryptResult::Failed);
            }
        }
    }
    return keepRest(DecryptResult::Ok);
}

void SchannelSession::Shutdown()
{
    if (!m_up || !m_haveCtx)
        return;
    m_up = false;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer tok[1] = {{sizeof type, SECBUFFER_TOKEN, &type}};
    SecBufferDesc tokDesc{SECBUFFER_VERSION, 1, tok};
    if (m_sspi->ApplyControlToken(&m_ctx, &tokDesc) != SEC_E_OK)
        return;
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
    ULONG attr = 0;
    m_sspi->InitializeSecurityContextW(&m_cred, &m_ctx, const_cast<wchar_t*>(m_target.c_str()), kRequestFlags,
                                       0, 0, nullptr, 0, nullptr, &outDesc, &attr, nullptr);
    if (out[0].pvBuffer) {
        if (out[0].cbBuffer > 0 && m_send)
            m_send(static_cast<const uint8_t*>(out[0].pvBuffer), out[0].cbBuffer);
        m_sspi->FreeContextBuffer(out[0].pvBuffer);
    }
}

void SchannelSession::Release()
{
    if (m_haveCtx)
        m_sspi->DeleteSecurityContext(&m_ctx);
    if (m_haveCred)
        m_sspi->FreeCredentialsHandle(&m_cred);
    m_haveCtx = m_haveCred = m_up = false;
}
