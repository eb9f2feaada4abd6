// Speed of file sharing through the local appliance: files from one core to
// the other (two tunnels, the appliance's routing), against two figures of
// the same run: the relay's own rate for chunk-sized type-29 packets sent
// back to back, and the stop-and-wait bound of the protocol (7168 bytes per
// round trip of a chunk-sized packet and a small answer). Not a test:
// scripts/bench fileshare runs it under tunnel_fixture.sh. Sizes in MB from
// CORVISK_FILESHARE_BENCH_MB (default "256 1024"). Prints
// "<name>=<value>" lines.
#include "core/control/MeetingLink_win.h"
#include "extras/FileShare.h"
#include "extras/tests/PrivateBytes_win.h"
#include "extras/tests/SeatedHandler_win.h"
#include "tools/TrustRoot_win.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string Env(const char* n)
{
    const char* v = std::getenv(n);
    return v ? v : "";
}

struct Side {
    explicit Side(const char* s, bool host) : session(s)
    {
        config.endpoint.host = "localhost";
        config.endpoint.port = static_cast<uint16_t>(std::strtoul(Env("CORVISK_APPLIANCE_PORT").c_str(), nullptr, 10));
        config.endpoint.sessionId = s;
        config.endpoint.isHost = host;
        config.endpoint.isCoordinator = host;
        config.meetingId = "fsbench";
        config.displayNameUtf8 = s;
    }
    bool Send(const std::vector<uint8_t>& payload)
    {
        ControlPacket p(kControlPacketHeaderSize + payload.size());
        ControlPacketHeader{PLP_FILE_SHARE, static_cast<uint16_t>(payload.size())}.Encode(p.data());
        std::copy(payload.begin(), payload.end(), p.begin() + kControlPacketHeaderSize);
        return link.Sender().Send(p);
    }
    // One whole packet from the file-share channel (before FileShare reads it).
    bool Receive(std::vector<uint8_t>& packet)
    {
        SOCKET s = link.Channels().ClientEnd(LocalChannel::FileShare);
        uint8_t head[4];
        if (!Exact(s, head, 4))
            return false;
        packet.resize(static_cast<size_t>(head[2]) << 8 | head[3]);
        return Exact(s, packet.data(), packet.size());
    }
    static bool Exact(SOCKET s, uint8_t* out, size_t n)
    {
        for (size_t got = 0; got < n;) {
            int k = recv(s, reinterpret_cast<char*>(out + got), static_cast<int>(n - got), 0);
            if (k <= 0)
                return false;
            got += static_cast<size_t>(k);
        }
        return true;
    }

    std::string session;
    MeetingLinkConfig config;
    MeetingLink link;
    SeatedHandler handler;
};

class Context : public FileShareContext {
public:
    explicit Context(Side& s) : m_side(s) {}
    HINSTANCE Instance() override { return GetModuleHandleW(nullptr); }
    bool SendFileShare(const uint8_t* p, size_t n) override { return m_side.Send(std::vector<uint8_t>(p, p + n)); }
    std::string OwnSession() override { return m_side.session; }
    std::uintptr_t Channel() override { return m_side.link.Channels().ClientEnd(LocalChannel::FileShare); }
    std::vector<FileShareMember> Members() override { return {}; }
    void Balloon(const wchar_t*, const wchar_t*) override {}
    void SetHostTransfers(bool) override {}

private:
    Side& m_side;
};

double Seconds(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

} // namespace

int main()
{
    std::ifstream in("Z:" + Env("CORVISK_TEST_CA_DER"), std::ios::binary);
    std::vector<char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (TrustRootCertificate(der.data(), der.size()) != 0)
        return 2;
    WinsockUser ws;
    Side a("benchHst", true), b("benchGst", false);
    if (a.link.Open(a.config, a.handler, {}) != MeetingLink::kOk || b.link.Open(b.config, b.handler, {}) != MeetingLink::kOk) {
        std::fprintf(stderr, "tunnel open failed\n");
        return 1;
    }
    for (int i = 0; i < 100 && !(a.handler.seated && b.handler.seated); ++i) {
        a.link.Sender().SendText(PLP_CANVAS, "MEMA:ping");
        b.link.Sender().SendText(PLP_CANVAS, "MEMA:ping");
        Sleep(50);
    }
    struct Result {
        unsigned mb;
        double rate;
        SIZE_T start;
        SIZE_T peak;
    };
    std::vector<Result> results;
    auto t0 = Clock::now();
    FileShare host(std::make_unique<Context>(a)), guest(std::make_unique<Context>(b));
    host.SetRole(1);
    for (FileShare* f : {&host, &guest}) {
        f->StartRecvThread();
        f->StartSendThread();
    }
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::istringstream sizes(Env("CORVISK_FILESHARE_BENCH_MB").empty() ? "256 1024" : Env("CORVISK_FILESHARE_BENCH_MB"));
    for (unsigned mb = 0; sizes >> mb;) {
        const std::string source = std::string(temp) + "fsbench_" + std::to_string(mb) + ".bin";
        const std::string target = std::string(temp) + "fsbench_got_" + std::to_string(mb) + ".bin";
        {
            std::ofstream f(source, std::ios::binary);
            std::vector<char> block(1 << 20, 'b');
            for (unsigned i = 0; i < mb; ++i)
                f.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        const SIZE_T start = PrivateBytes();
        SIZE_T peak = start;
        int id = 0;
        if (host.Host().AddFile(source, id) != fileshare::FileShareHost::AddResult::Added || !host.Host().Publish(id, true, {}))
            return 1;
        for (int i = 0; !guest.Receiver().Offered(id); ++i) {
            if (i == 2000) {
                std::fprintf(stderr, "the announcement did not arrive\n");
                return 1;
            }
            Sleep(5);
        }
        t0 = Clock::now();
        guest.Receiver().StartDownload(id, target);
        for (;;) {
            peak = std::max(peak, PrivateBytes());
            int state = -1;
            for (const auto& r : guest.Receiver().Files())
                if (r.id == id)
                    state = r.state;
            if (state == fileshare::kDownloaded)
                break;
            Sleep(20);
        }
        results.push_back({mb, static_cast<double>(mb) * (1 << 20) / Seconds(t0), start, peak});
        host.Host().Remove(id);
        DeleteFileA(source.c_str());
        DeleteFileA(target.c_str());
    }
    host.Close();
    guest.Close();

    // The two figures of the same run, once file sharing has let go of the
    // channels.
    const uint8_t zeros[fileshare::kChunkData] = {};
    const fileshare::Bytes chunk = fileshare::Chunk(b.session, 8, 2012, 0, zeros, sizeof zeros);
    const fileshare::Bytes ack =
        fileshare::TextMessage({fileshare::kAck, {a.session}, b.session, 2012}, 8, fileshare::NumberField(7168));

    // The stop-and-wait bound: a chunk there, a small answer back.
    std::vector<uint8_t> got;
    const int trips = 300;
    t0 = Clock::now();
    for (int i = 0; i < trips; ++i)
        if (!a.Send(chunk) || !b.Receive(got) || !b.Send(ack) || !a.Receive(got))
            return 1;
    const double bound = trips * static_cast<double>(fileshare::kChunkData) / Seconds(t0);

    // The relay's own rate for the same packets, back to back.
    const int burst = 4000;
    t0 = Clock::now();
    std::thread reader([&] {
        std::vector<uint8_t> p;
        for (int i = 0; i < burst; ++i)
            b.Receive(p);
    });
    for (int i = 0; i < burst; ++i)
        a.Send(chunk);
    reader.join();
    const double relay = burst * static_cast<double>(fileshare::kChunkData) / Seconds(t0);

    std::printf("stop_and_wait_bytes_per_s=%.0f\n", bound);
    std::printf("relay_bytes_per_s=%.0f\n", relay);
    for (const Result& r : results) {
        std::printf("fileshare_%uMB_bytes_per_s=%.0f\n", r.mb, r.rate);
        std::printf("fileshare_%uMB_to_relay=%.3f\n", r.mb, r.rate / relay);
        std::printf("fileshare_%uMB_to_stop_and_wait=%.3f\n", r.mb, r.rate / bound);
        std::printf("fileshare_%uMB_start_private_bytes=%llu\n", r.mb, static_cast<unsigned long long>(r.start));
        std::printf("fileshare_%uMB_peak_private_bytes=%llu\n", r.mb, static_cast<unsigned long long>(r.peak));
        std::printf("fileshare_%uMB_peak_private_growth_bytes=%llu\n", r.mb,
                    static_cast<unsigned long long>(r.peak - r.start));
    }
    return 0;
}
