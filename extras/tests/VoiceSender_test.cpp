// The pieces and markers of a captured second, checked as the bytes that
// leave: DTLS records as written, meeting packets as the control packet
// builder makes them.
#include "extras/VoiceSender.h"

#include "core/control/ControlPacket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Each message as "udp"/"tcp" with its bytes; switchAfter flips to TCP
// after that many records.
struct Links : voice::VoiceLinks {
    bool udp = true;
    int switchAfter = -1;
    std::vector<std::pair<std::string, Bytes>> sent;

    bool UdpMode() const override { return udp; }
    bool SendRecord(const uint8_t* r, size_t n) override
    {
        sent.emplace_back("udp", Bytes(r, r + n));
        if (--switchAfter == 0)
            udp = false;
        return true;
    }
    bool SendPacket(uint8_t type, const uint8_t* d, size_t n) override
    {
        for (const ControlPacket& p : BuildAudioPackets(type, d, n))
            sent.emplace_back("tcp", Bytes(p.begin(), p.end()));
        return true;
    }
};

Bytes Second()
{
    Bytes pcm(voice::kSecondBytes);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return pcm;
}

// The head bytes of a message and the PCM that follows them.
void ExpectMessage(const std::pair<std::string, Bytes>& m, const char* how, Bytes head, const Bytes& pcm,
                   size_t from, size_t n)
{
    EXPECT_EQ(m.first, how);
    ASSERT_EQ(m.second.size(), head.size() + n);
    EXPECT_EQ(Bytes(m.second.begin(), m.second.begin() + static_cast<long>(head.size())), head);
    EXPECT_EQ(Bytes(m.second.begin() + static_cast<long>(head.size()), m.second.end()),
              Bytes(pcm.begin() + static_cast<long>(from), pcm.begin() + static_cast<long>(from + n)));
}

TEST(VoiceSender, UdpSecondIsThreeRecordsThenTheMarkerPacket)
{
    Links links;
    Bytes pcm = Second();
    voice::SendCapturedBuffer(links, pcm.data(), pcm.size());
    ASSERT_EQ(links.sent.size(), 4u);
    ExpectMessage(links.sent[0], "udp", {0x02}, pcm, 0, 7168);
    ExpectMessage(links.sent[1], "udp", {0x03}, pcm, 7168, 7168);
    ExpectMessage(links.sent[2], "udp", {0x04}, pcm, 14336, 1664);
    EXPECT_EQ(links.sent[3], std::make_pair(std::string("tcp"), Bytes{0x1E, 0x00, 0x00, 0x01, 0x7F}));
}

TEST(VoiceSender, TcpSecondIsThreePacketsThenTheMarker)
{
    Links links;
    links.udp = false;
    Bytes pcm = Second();
    voice::SendCapturedBuffer(links, pcm.data(), pcm.size());
    ASSERT_EQ(links.sent.size(), 4u);
    ExpectMessage(links.sent[0], "tcp", {0x1E, 0x00, 0x1C, 0x01, 0x02}, pcm, 0, 7168);
    ExpectMessage(links.sent[1], "tcp", {0x1E, 0x00, 0x1C, 0x01, 0x03}, pcm, 7168, 7168);
    ExpectMessage(links.sent[2], "tcp", {0x1E, 0x00, 0x06, 0x81, 0x04}, pcm, 14336, 1664);
    EXPECT_EQ(links.sent[3].second, (Bytes{0x1E, 0x00, 0x00, 0x01, 0x7D}));
}

TEST(VoiceSender, ASwitchToTcpInTheMiddleSendsTheRestByTcp)
{
    Links links;
    links.switchAfter = 1;
    Bytes pcm = Second();
    voice::SendCapturedBuffer(links, pcm.data(), pcm.size());
    ASSERT_EQ(links.sent.size(), 4u);
    ExpectMessage(links.sent[0], "udp", {0x02}, pcm, 0, 7168);
    ExpectMessage(links.sent[1], "tcp", {0x1E, 0x00, 0x1C, 0x01, 0x03}, pcm, 7168, 7168);
    ExpectMessage(links.sent[2], "tcp", {0x1E, 0x00, 0x06, 0x81, 0x04}, pcm, 14336, 1664);
    EXPECT_EQ(links.sent[3].second, (Bytes{0x1E, 0x00, 0x00, 0x01, 0x7D}));
}

TEST(VoiceSender, ControlMessagesAreOneBytePacketsInEitherMode)
{
    const struct {
        uint8_t type;
        uint8_t wire;
    } cases[] = {{voice::kStopped, 0x01}, {voice::kStartedTcp, 0x7C}, {voice::kStartedUdp, 0x7E}};
    for (bool udp : {true, false}) {
        for (const auto& c : cases) {
            Links links;
            links.udp = udp;
            voice::SendVoice(links, c.type, nullptr, 0);
            ASSERT_EQ(links.sent.size(), 1u);
            EXPECT_EQ(links.sent[0], std::make_pair(std::string("tcp"), Bytes{0x1E, 0x00, 0x00, 0x01, c.wire}));
        }
    }
}

// A buffer longer than the piece types can number: the remainder after
// type 123 goes as packets, never as an unbounded record.
TEST(VoiceSender, ARemainderPastTheLastPieceTypeGoesAsPackets)
{
    Links links;
    Bytes pcm(122 * voice::kPieceBytes + 10, 1);
    voice::SendVoice(links, voice::kFirstPiece, pcm.data(), pcm.size());
    ASSERT_EQ(links.sent.size(), 123u);
    EXPECT_EQ(links.sent[121].second[0], 123);
    EXPECT_EQ(links.sent[122].first, "tcp");
    EXPECT_EQ(links.sent[122].second[4], 124);
    EXPECT_EQ(links.sent[122].second.size(), 5u + 10u);
}

} // namespace
