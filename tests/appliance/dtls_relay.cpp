// The local appliance's DTLS side: terminates the voice's DTLS sessions on
// UDP port 4433 of 127.0.0.1 and ::1 and hands each session's records to the
// Python appliance over one loopback TCP connection (the bridge), which
// routes them; what the appliance sends back goes out as records of the
// session it names. Datagrams pass a fault line on their way in and out:
// a share of them dropped in either direction, a delay, pairs on the way to
// a client swapped, or nothing answered at all; a refusing relay ends every new handshake with a
// fatal alert.
//
// Usage: corvisk_dtls_relay --cert FILE --key FILE --bridge PORT [--port N]
//
// Bridge frames, both ways: a kind byte, the session number (u32, big
// endian), the data length (u32, big endian), the data.
//   relay -> appliance: 'R' ready (data: the addresses bound), 'O' a session
//     is up (data: the peer's address), 'D' one record, 'E' the session
//     ended, 'F' the faults are in force
//   appliance -> relay: 'D' one record to send, 'E' end the session,
//     'F' faults (data: "drop_up=P drop_down=P delay_ms=N reorder=0|1
//     refuse=0|1 silent=0|1", shares from 0 to 1)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxBridgeData = 1 << 20;
constexpr int kMtu = 1400;
constexpr auto kIdleLimit = std::chrono::seconds(30);
constexpr auto kReorderHold = std::chrono::milliseconds(500);

struct Faults {
    double dropUp = 0;
    double dropDown = 0;
    int delayMs = 0;
    bool reorder = false;
    bool refuse = false;
    bool silent = false;

    static Faults Parse(const std::string& text)
    {
        Faults f;
        std::istringstream in(text);
        std::string item;
        while (in >> item) {
            auto eq = item.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = item.substr(0, eq);
            const double value = std::strtod(item.c_str() + eq + 1, nullptr);
            if (key == "drop_up")
                f.dropUp = value;
            else if (key == "drop_down")
                f.dropDown = value;
            else if (key == "delay_ms")
                f.delayMs = static_cast<int>(value);
            else if (key == "reorder")
                f.reorder = value != 0;
            else if (key == "refuse")
                f.refuse = value != 0;
            else if (key == "silent")
                f.silent = value != 0;
        }
        return f;
    }
};

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;

    bool operator<(const Address& o) const
    {
        if (length != o.length)
            return length < o.length;
        return std::memcmp(&storage, &o.storage, length) < 0;
    }
    std::string Text() const
    {
        char host[INET6_ADDRSTRLEN] = {};
        uint16_t port;
        if (storage.ss_family == AF_INET6) {
            const auto* a = reinterpret_cast<const sockaddr_in6*>(&storage);
            inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof(host));
            port = ntohs(a->sin6_port);
            return "[" + std::string(host) + "]:" + std::to_string(port);
        }
        const auto* a = reinterpret_cast<const sockaddr_in*>(&storage);
        inet_ntop(AF_INET, &a->sin_addr, host, sizeof(host));
        port = ntohs(a->sin_port);
        return std::string(host) + ":" + std::to_string(port);
    }
};

// One datagram between a UDP socket of the relay and a client.
struct Datagram {
    int socket = -1;
    Address peer;
    Bytes bytes;
    bool up = false;  // from the client
    Clock::time_point due;
};

// The faults every datagram passes: lost, held back, or (on the way to a
// client) swapped with the next one to the same client.
class FaultLine {
public:
    void Set(const Faults& f) { m_faults = f; }
    const Faults& Get() const { return m_faults; }

    void Push(Datagram d)
    {
        if (m_faults.silent)
            return;
        std::uniform_real_distribution<double> share(0.0, 1.0);
        if (share(m_random) < (d.up ? m_faults.dropUp : m_faults.dropDown))
            return;
        d.due = Clock::now() + std::chrono::milliseconds(m_faults.delayMs);
        if (d.up || !m_faults.reorder) {
            m_queue.push_back(std::move(d));
            return;
        }
        auto held = m_held.find(d.peer);
        if (held == m_held.end()) {
            d.due += kReorderHold;
            m_held.emplace(d.peer, std::move(d));
            return;
        }
        // The later one first, then the one held back.
        held->second.due = d.due;
        m_queue.push_back(std::move(d));
        m_queue.push_back(std::move(held->second));
        m_held.erase(held);
    }

    // The datagrams whose time has come, in order.
    std::vector<Datagram> TakeDue()
    {
        const auto now = Clock::now();
        std::vector<Datagram> out;
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (it->due <= now) {
                out.push_back(std::move(*it));
                it = m_queue.erase(it);
            } else {
                ++it;
            }
        }
        for (auto it = m_held.begin(); it != m_held.end();) {
            if (it->second.due <= now) {
                out.push_back(std::move(it->second));
                it = m_held.erase(it);
            } else {
                ++it;
            }
        }
        return out;
    }

    // Milliseconds until the next datagram is due, at most limit.
    int WaitMs(int limit) const
    {
        auto next = Clock::now() + std::chrono::milliseconds(limit);
        for (const auto& d : m_queue)
            next = std::min(next, d.due);
        for (const auto& held : m_held)
            next = std::min(next, held.second.due);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        return static_cast<int>(std::max<long long>(0, ms));
    }

private:
    Faults m_faults;
    std::deque<Datagram> m_queue;
    std::map<Address, Datagram> m_held;
    std::mt19937 m_random{4433};
};

class Relay;

// One client's DTLS session. Its SSL reads the datagrams the relay queued
// for it and writes through the fault line.
struct Session {
    Relay* relay = nullptr;
    uint32_t number = 0;
    int socket = -1;
    Address peer;
    SSL* ssl = nullptr;
    std::deque<Bytes> inbox;
    bool refused = false;
    bool established = false;
    bool ended = false;
    Clock::time_point lastHeard = Clock::now();

    ~Session()
    {
        if (ssl)
            SSL_free(ssl);
    }
};

// The BIO of a session: reads pop its inbox, writes go to the fault line.
class SessionBio {
public:
    static BIO* New(Session* session)
    {
        BIO* bio = BIO_new(Method());
        if (bio)
            BIO_set_data(bio, session);
        return bio;
    }

private:
    static BIO_METHOD* Method()
    {
        static BIO_METHOD* method = [] {
            BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "relay datagram");
            BIO_meth_set_write(m, Write);
            BIO_meth_set_read(m, Read);
            BIO_meth_set_ctrl(m, Ctrl);
            BIO_meth_set_create(m, [](BIO* b) {
                BIO_set_init(b, 1);
                return 1;
            });
            return m;
        }();
        return method;
    }
    static int Write(BIO* bio, const char* data, int length);
    static int Read(BIO* bio, char* data, int length)
    {
        auto* s = static_cast<Session*>(BIO_get_data(bio));
        BIO_clear_retry_flags(bio);
        if (s->inbox.empty()) {
            BIO_set_retry_read(bio);
            return -1;
        }
        Bytes d = std::move(s->inbox.front());
        s->inbox.pop_front();
        const int n = std::min(length, static_cast<int>(d.size()));
        std::memcpy(data, d.data(), static_cast<size_t>(n));
        return n;
    }
    static long Ctrl(BIO* bio, int cmd, long num, void*)
    {
        auto* s = static_cast<Session*>(BIO_get_data(bio));
        switch (cmd) {
        case BIO_CTRL_FLUSH:
        case BIO_CTRL_DGRAM_SET_NEXT_TIMEOUT:
            return 1;
        case BIO_CTRL_PENDING:
            return s->inbox.empty() ? 0 : static_cast<long>(s->inbox.front().size());
        case BIO_CTRL_DGRAM_QUERY_MTU:
        case BIO_CTRL_DGRAM_GET_FALLBACK_MTU:
            return kMtu;
        case BIO_CTRL_DGRAM_SET_MTU:
            return num;
        case BIO_CTRL_DGRAM_GET_MTU_OVERHEAD:
            return 48;
        default:
            return 0;
        }
    }
};

class Relay {
public:
    // Owns the bridge's socket from here on.
    Relay(SSL_CTX* ctx, int bridge) : m_ctx(ctx), m_bridge(bridge) {}
    ~Relay()
    {
        m_sessions.clear();
        for (int s : m_sockets)
            close(s);
        close(m_bridge);
    }
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    bool Bind(uint16_t port)
    {
        std::string bound;
        for (int family : {AF_INET, AF_INET6}) {
            int s = socket(family, SOCK_DGRAM, 0);
            if (s < 0)
                continue;
            int on = 1;
            Address a;
            if (family == AF_INET6) {
                setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof(on));
                auto* in6 = reinterpret_cast<sockaddr_in6*>(&a.storage);
                in6->sin6_family = AF_INET6;
                in6->sin6_addr = in6addr_loopback;
                in6->sin6_port = htons(port);
                a.length = sizeof(sockaddr_in6);
            } else {
                auto* in4 = reinterpret_cast<sockaddr_in*>(&a.storage);
                in4->sin_family = AF_INET;
                in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                in4->sin_port = htons(port);
                a.length = sizeof(sockaddr_in);
            }
            if (bind(s, reinterpret_cast<sockaddr*>(&a.storage), a.length) != 0) {
                std::fprintf(stderr, "dtls relay: cannot bind %s: %s\n", a.Text().c_str(), std::strerror(errno));
                close(s);
                // 127.0.0.1 must be ours; ::1 only where the machine has IPv6.
                if (family == AF_INET)
                    return false;
                continue;
            }
            m_sockets.push_back(s);
            bound += (bound.empty() ? "" : " ") + a.Text();
        }
        if (m_sockets.empty())
            return false;
        SendBridge('R', 0, Bytes(bound.begin(), bound.end()));
        return true;
    }

    // Until the appliance closes the bridge.
    void Run()
    {
        std::vector<pollfd> fds;
        for (;;) {
            fds.clear();
            fds.push_back({m_bridge, POLLIN, 0});
            for (int s : m_sockets)
                fds.push_back({s, POLLIN, 0});
            if (poll(fds.data(), fds.size(), m_line.WaitMs(NextTimerMs())) < 0 && errno != EINTR)
                return;
            if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !ReadBridge())
                return;
            for (size_t i = 1; i < fds.size(); ++i)
                if (fds[i].revents & POLLIN)
                    Receive(fds[i].fd);
            Deliver();
            Tick();
            Deliver();
            if (m_bridgeGone)
                return;
        }
    }

    void Outgoing(Session& s, const char* data, int length)
    {
        Datagram d;
        d.socket = s.socket;
        d.peer = s.peer;
        d.bytes.assign(data, data + length);
        m_line.Push(std::move(d));
    }

private:
    void Receive(int socket)
    {
        uint8_t buffer[65536];
        Datagram d;
        d.socket = socket;
        d.up = true;
        d.peer.length = sizeof(d.peer.storage);
        ssize_t n = recvfrom(socket, buffer, sizeof(buffer), MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&d.peer.storage), &d.peer.length);
        if (n <= 0)
            return;
        d.bytes.assign(buffer, buffer + n);
        m_line.Push(std::move(d));
    }

    // What the fault line lets through now: datagrams in to their sessions,
    // out to their clients.
    void Deliver()
    {
        for (;;) {
            std::vector<Datagram> due = m_line.TakeDue();
            if (due.empty())
                return;
            for (Datagram& d : due) {
                if (d.up) {
                    Arrived(std::move(d));
                } else {
                    sendto(d.socket, d.bytes.data(), d.bytes.size(), 0,
                           reinterpret_cast<const sockaddr*>(&d.peer.storage), d.peer.length);
                }
            }
        }
    }

    void Arrived(Datagram d)
    {
        auto it = m_sessions.find(d.peer);
        if (it == m_sessions.end()) {
            // Only a handshake record starts a session.
            if (d.bytes.empty() || d.bytes[0] != 22)
                return;
            it = m_sessions.emplace(d.peer, NewSession(d.socket, d.peer)).first;
            if (!it->second) {
                m_sessions.erase(it);
                return;
            }
        }
        Session& s = *it->second;
        s.lastHeard = Clock::now();
        s.inbox.push_back(std::move(d.bytes));
        Drive(s);
        if (s.ended)
            Forget(it);
    }

    std::unique_ptr<Session> NewSession(int socket, const Address& peer)
    {
        auto s = std::make_unique<Session>();
        s->relay = this;
        s->number = ++m_lastNumber;
        s->socket = socket;
        s->peer = peer;
        s->refused = m_line.Get().refuse;
        s->ssl = SSL_new(m_ctx);
        BIO* bio = s->ssl ? SessionBio::New(s.get()) : nullptr;
        if (!bio)
            return nullptr;
        SSL_set_bio(s->ssl, bio, bio);
        SSL_set_app_data(s->ssl, s.get());
        SSL_set_options(s->ssl, SSL_OP_NO_QUERY_MTU);
        SSL_set_mtu(s->ssl, kMtu);
        SSL_set_accept_state(s->ssl);
        return s;
    }

    void Drive(Session& s)
    {
        if (!s.established) {
            ERR_clear_error();
            int r = SSL_do_handshake(s.ssl);
            if (r != 1) {
                int e = SSL_get_error(s.ssl, r);
                if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
                    char text[256] = {};
                    ERR_error_string_n(ERR_get_error(), text, sizeof(text));
                    std::fprintf(stderr, "dtls relay: handshake with %s failed: %s\n", s.peer.Text().c_str(), text);
                    s.ended = true;
                }
                return;
            }
            s.established = true;
            const std::string peer = s.peer.Text() + " " + SSL_get_version(s.ssl);
            SendBridge('O', s.number, Bytes(peer.begin(), peer.end()));
        }
        uint8_t buffer[16384];
        for (;;) {
            ERR_clear_error();
            int n = SSL_read(s.ssl, buffer, sizeof(buffer));
            if (n > 0) {
                SendBridge('D', s.number, Bytes(buffer, buffer + n));
                continue;
            }
            int e = SSL_get_error(s.ssl, n);
            if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE)
                End(s);
            return;
        }
    }

    void End(Session& s)
    {
        if (s.ended)
            return;
        s.ended = true;
        if (s.established)
            SendBridge('E', s.number, {});
    }

    void Forget(std::map<Address, std::unique_ptr<Session>>::iterator it)
    {
        End(*it->second);
        m_sessions.erase(it);
    }

    // Handshake timers and idle sessions.
    void Tick()
    {
        const auto now = Clock::now();
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            Session& s = *it->second;
            if (!s.established)
                DTLSv1_handle_timeout(s.ssl);
            auto next = std::next(it);
            if (s.ended || now - s.lastHeard > kIdleLimit)
                Forget(it);
            it = next;
        }
    }

    int NextTimerMs() const
    {
        int ms = 200;
        for (const auto& entry : m_sessions) {
            timeval tv{};
            if (!entry.second->established && DTLSv1_get_timeout(entry.second->ssl, &tv))
                ms = std::min<int>(ms, static_cast<int>(tv.tv_sec * 1000 + tv.tv_usec / 1000));
        }
        return ms;
    }

    Session* ByNumber(uint32_t number)
    {
        for (auto& entry : m_sessions)
            if (entry.second->number == number)
                return entry.second.get();
        return nullptr;
    }

    bool ReadBridge()
    {
        uint8_t buffer[65536];
        ssize_t n = recv(m_bridge, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n == 0)
            return false;
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        m_bridgeIn.insert(m_bridgeIn.end(), buffer, buffer + n);
        while (m_bridgeIn.size() >= 9) {
            const uint32_t number = Be32(&m_bridgeIn[1]);
            const uint32_t length = Be32(&m_bridgeIn[5]);
            if (length > kMaxBridgeData) {
                std::fprintf(stderr, "dtls relay: bridge frame of %u bytes\n", length);
                return false;
            }
            if (m_bridgeIn.size() < 9 + length)
                break;
            const char kind = static_cast<char>(m_bridgeIn[0]);
            Bytes data(m_bridgeIn.begin() + 9, m_bridgeIn.begin() + 9 + length);
            m_bridgeIn.erase(m_bridgeIn.begin(), m_bridgeIn.begin() + 9 + length);
            OnBridge(kind, number, data);
        }
        return true;
    }

    void OnBridge(char kind, uint32_t number, const Bytes& data)
    {
        if (kind == 'F') {
            m_line.Set(Faults::Parse(std::string(data.begin(), data.end())));
            SendBridge('F', 0, {});
            return;
        }
        Session* s = ByNumber(number);
        if (!s || !s->established || s->ended)
            return;
        if (kind == 'D') {
            ERR_clear_error();
            SSL_write(s->ssl, data.data(), static_cast<int>(data.size()));
        } else if (kind == 'E') {
            SSL_shutdown(s->ssl);
            End(*s);
        }
    }

    void SendBridge(char kind, uint32_t number, const Bytes& data)
    {
        Bytes frame(9);
        frame[0] = static_cast<uint8_t>(kind);
        PutBe32(&frame[1], number);
        PutBe32(&frame[5], static_cast<uint32_t>(data.size()));
        frame.insert(frame.end(), data.begin(), data.end());
        size_t at = 0;
        while (at < frame.size()) {
            ssize_t n = send(m_bridge, frame.data() + at, frame.size() - at, MSG_NOSIGNAL);
            if (n <= 0) {
                if (n < 0 && errno == EINTR)
                    continue;
                m_bridgeGone = true;  // the appliance is gone
                return;
            }
            at += static_cast<size_t>(n);
        }
    }

    static uint32_t Be32(const uint8_t* p)
    {
        return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
               static_cast<uint32_t>(p[2]) << 8 | p[3];
    }
    static void PutBe32(uint8_t* p, uint32_t v)
    {
        p[0] = static_cast<uint8_t>(v >> 24);
        p[1] = static_cast<uint8_t>(v >> 16);
        p[2] = static_cast<uint8_t>(v >> 8);
        p[3] = static_cast<uint8_t>(v);
    }

    SSL_CTX* m_ctx;
    int m_bridge;
    std::vector<int> m_sockets;
    FaultLine m_line;
    std::map<Address, std::unique_ptr<Session>> m_sessions;
    uint32_t m_lastNumber = 0;
    Bytes m_bridgeIn;
    bool m_bridgeGone = false;
};

int SessionBio::Write(BIO* bio, const char* data, int length)
{
    auto* s = static_cast<Session*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    s->relay->Outgoing(*s, data, length);
    return length;
}

// A refusing relay answers every new client hello with a fatal alert.
int ClientHello(SSL* ssl, int* alert, void*)
{
    auto* s = static_cast<Session*>(SSL_get_app_data(ssl));
    if (s && s->refused) {
        *alert = SSL_AD_HANDSHAKE_FAILURE;
        return SSL_CLIENT_HELLO_ERROR;
    }
    return SSL_CLIENT_HELLO_SUCCESS;
}

SSL_CTX* MakeContext(const char* cert, const char* key)
{
    SSL_CTX* ctx = SSL_CTX_new(DTLS_server_method());
    if (!ctx)
        return nullptr;
    SSL_CTX_set_min_proto_version(ctx, DTLS1_VERSION);
    // A DTLS 1.0 client signs with MD5-SHA1, which only level 0 allows.
    SSL_CTX_set_security_level(ctx, 0);
    SSL_CTX_set_cipher_list(ctx, "ALL:@SECLEVEL=0");
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_client_hello_cb(ctx, ClientHello, nullptr);
    if (SSL_CTX_use_certificate_chain_file(ctx, cert) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, key, SSL_FILETYPE_PEM) != 1) {
        ERR_print_errors_fp(stderr);
        SSL_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

int ConnectBridge(uint16_t port)
{
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (s < 0 || connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
        std::fprintf(stderr, "dtls relay: no bridge on port %u: %s\n", port, std::strerror(errno));
        if (s >= 0)
            close(s);
        return -1;
    }
    // Frames go at once, not when the last one was acknowledged.
    int on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    const char* cert = nullptr;
    const char* key = nullptr;
    long bridge = 0;
    long port = 4433;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--cert")
            cert = argv[i + 1];
        else if (name == "--key")
            key = argv[i + 1];
        else if (name == "--bridge")
            bridge = std::strtol(argv[i + 1], nullptr, 10);
        else if (name == "--port")
            port = std::strtol(argv[i + 1], nullptr, 10);
    }
    if (!cert || !key || bridge <= 0 || bridge > 65535 || port <= 0 || port > 65535) {
        std::fprintf(stderr, "usage: %s --cert FILE --key FILE --bridge PORT [--port N]\n", argv[0]);
        return 2;
    }
    SSL_CTX* ctx = MakeContext(cert, key);
    if (!ctx)
        return 2;
    int link = ConnectBridge(static_cast<uint16_t>(bridge));
    if (link < 0)
        return 2;
    bool bound;
    {
        Relay relay(ctx, link);
        bound = relay.Bind(static_cast<uint16_t>(port));
        if (bound)
            relay.Run();
    }
    SSL_CTX_free(ctx);
    return bound ? 0 : 3;
}
