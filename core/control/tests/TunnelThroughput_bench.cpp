// Throughput of the meeting path: a feature's writes on one core's control
// channel, its tunnel, the local appliance, the other core's tunnel and its
// canvas channel; and, for scale, plain TCP on loopback in the same process.
// Not a test: scripts/bench tunnel runs it beside openssl s_client/s_server
// and prints the ratios. Prints "tunnel_bytes_per_s=N" and "tcp_bytes_per_s=N".
#include "core/control/MeetingLink_win.h"
#include "tools/TrustRoot_win.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Env(const char* n)
{
    const char* v = std::getenv(n);
    return v ? v : "";
}

class Counter : public ControlPacketHandler {
public:
    std::atomic<uint64_t> bytes{0};
    void OnControlRequest(uint8_t, const std::string&, const std::string&) override {}
    void OnHostRequest(uint8_t, const std::string&, const std::string&) override {}
    void OnHostInvitation(uint8_t, const std::string&, const std::string&) override {}
    void OnPollPiece(bool, std::string_view) override {}
    void OnPollSubmit(std::string_view) override {}
    void OnPollClose() override {}
    void OnCanvasMessage(std::string_view t) override { bytes += t.size() + 1 + kControlPacketHeaderSize; }
    void OnPartiMark(std::string_view) override {}
    void OnFileShare(const ReceivedPacket&) override {}
    void OnLobbyState(uint32_t) override {}
    void OnMeetingStateChanged(uint8_t) override {}
    void OnDropped(const ReceivedPacket&, const char*) override {}
};

MeetingLinkConfig Config(const char* session, bool host)
{
    MeetingLinkConfig c;
    c.endpoint.host = "localhost";
    c.endpoint.port = static_cast<uint16_t>(std::strtoul(Env("CORVISK_APPLIANCE_PORT").c_str(), nullptr, 10));
    c.endpoint.sessionId = session;
    c.endpoint.isHost = host;
    c.endpoint.isCoordinator = host;
    c.meetingId = "bench";
    c.displayNameUtf8 = session;
    return c;
}

double TunnelRate(uint64_t total)
{
    Counter ca, cb;
    MeetingLink a, b;
    if (a.Open(Config("benchA", true), ca, {}) != MeetingLink::kOk ||
        b.Open(Config("benchB", false), cb, {}) != MeetingLink::kOk) {
        std::fprintf(stderr, "tunnel open failed: %s %s\n", a.LastError().c_str(), b.LastError().c_str());
        return 0;
    }
    std::string text = "MEMA:" + std::string(60000, 'x');
    uint64_t per = text.size() + 1 + kControlPacketHeaderSize;
    // Seat both before timing.
    while (cb.bytes == 0) {
        a.Sender().SendText(PLP_CANVAS, text);
        Sleep(50);
    }
    cb.bytes = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (uint64_t sent = 0; sent < total; sent += per)
        a.Sender().SendText(PLP_CANVAS, text);
    while (cb.bytes < total && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(120))
        Sleep(1);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return static_cast<double>(cb.bytes.load()) / s;
}

double TcpRate(uint64_t total)
{
    LocalChannels ch;
    if (!ch.StartListener(0) || !ch.CreateChannels(0))
        return 0;
    SOCKET w = ch.ClientEnd(LocalChannel::Control);
    SOCKET r = ch.AcceptedEnd(LocalChannel::Control);
    std::vector<char> buf(65536, 'x');
    auto t0 = std::chrono::steady_clock::now();
    std::thread writer([&] {
        for (uint64_t sent = 0; sent < total; sent += buf.size())
            SendAll(w, buf.data(), buf.size());
    });
    uint64_t got = 0;
    std::vector<char> in(65536);
    while (got < total) {
        int n = recv(r, in.data(), static_cast<int>(in.size()), 0);
        if (n <= 0)
            break;
        got += static_cast<uint64_t>(n);
    }
    writer.join();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return static_cast<double>(got) / s;
}

} // namespace

int main()
{
    uint64_t total = 64ull << 20;
    std::ifstream in("Z:" + Env("CORVISK_TEST_CA_DER"), std::ios::binary);
    std::vector<char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (TrustRootCertificate(der.data(), der.size()) != 0)
        return 2;
    WinsockUser ws;
    std::printf("tcp_bytes_per_s=%.0f\n", TcpRate(total * 4));
    std::printf("tunnel_bytes_per_s=%.0f\n", TunnelRate(total));
    return 0;
}
