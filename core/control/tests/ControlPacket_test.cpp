#include "core/control/ControlPacket.h"
#include "core/control/ControlPacketDispatcher.h"
#include "core/control/ControlPacketReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

size_t PayloadLength(const ControlPacket& p)
{
    return ControlPacketHeader::Decode(p.data()).length;
}

TEST(ControlPacket, HeaderAndLayouts)
{
    ControlMessage m;
    m.type = PLP_SET_HOST;
    m.name = "sess";
    m.value1 = 0x01020304;
    m.value2 = 1;
    ControlPacket p = BuildControlMessage(m);
    ASSERT_EQ(p.size(), 4u + 136);
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 4), (Bytes{3, 0, 0, 136}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[4])), "sess");
    EXPECT_EQ(Bytes(p.begin() + 132, p.begin() + 140), (Bytes{4, 3, 2, 1, 1, 0, 0, 0}));

    struct Case { uint8_t type; size_t length; };
    const Case sizes[] = {{2, 136}, {4, 140}, {5, 136}, {6, 128}, {9, 0}, {10, 0}, {11, 256}, {12, 256},
                          {13, 256}, {18, 256}, {19, 256}, {20, 256}, {21, 256}, {22, 256}, {23, 132}, {24, 256}};
    for (const Case& c : sizes) {
        m.type = c.type;
        ControlPacket q = BuildControlMessage(m);
        ASSERT_EQ(q.size(), 4 + c.length) << int(c.type);
        EXPECT_EQ(PayloadLength(q), c.length);
        EXPECT_EQ(q[0], c.type);
        EXPECT_EQ(q[1], 0);
    }
    for (uint8_t t : {0, 1, 7, 8, 14, 15, 16, 17, 25, 30}) {
        m.type = t;
        EXPECT_TRUE(BuildControlMessage(m).empty()) << int(t);
    }
}

TEST(ControlPacket, SharingStateUsesOwnStepsUnlessBothValuesGiven)
{
    ControlMessage m;
    m.type = PLP_SHARING_STATE;
    m.ownSessionId = "me";
    m.prevSharingStep = 3;
    m.sharingStep = 4;
    m.value1 = 9;
    m.value2 = 0;
    ControlPacket p = BuildControlMessage(m);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[4])), "me");
    EXPECT_EQ(p[132], 3);
    EXPECT_EQ(p[136], 4);
    m.value2 = 7;
    p = BuildControlMessage(m);
    EXPECT_EQ(p[132], 9);
    EXPECT_EQ(p[136], 7);
}

TEST(ControlPacket, RenameNeverReadsPastTheNewName)
{
    ControlMessage m;
    m.type = PLP_RENAME;
    m.name = std::string(300, 'a'); // cut to 127 + NUL
    m.other = std::string(200, 'b');
    m.value2 = 200;
    ControlPacket p = BuildControlMessage(m);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[4])), std::string(127, 'a'));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[132]), 128), std::string(128, 'b'));
    m.other = "Bob";
    m.value2 = 128; // longer than the text: only the text is copied
    p = BuildControlMessage(m);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[132]), 4), std::string("Bob\0", 4));
    EXPECT_EQ(p.size(), 4u + 256);
}

TEST(ControlPacket, PollTextSplitsInto7168CharacterPieces)
{
    struct Case { size_t chars; std::vector<std::pair<uint8_t, size_t>> packets; };
    const Case cases[] = {
        {16000, {{15, 7169}, {15, 7169}, {14, 1665}}},
        {7168, {{14, 7169}}},
        {7169, {{15, 7169}, {14, 2}}},
        {0, {{14, 1}}},
    };
    for (const Case& c : cases) {
        std::string text(c.chars, 'q');
        std::vector<ControlPacket> out;
        ASSERT_TRUE(BuildTextPackets(PLP_POLL_OPEN_LAST, text, out));
        ASSERT_EQ(out.size(), c.packets.size());
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i][0], c.packets[i].first);
            EXPECT_EQ(PayloadLength(out[i]), c.packets[i].second);
            EXPECT_EQ(out[i].back(), 0);
        }
    }
}

TEST(ControlPacket, SingleTextsRefuseWhatTheLengthFieldCannotHold)
{
    std::vector<ControlPacket> out;
    EXPECT_TRUE(BuildTextPackets(PLP_CANVAS, std::string(65534, 'c'), out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(PayloadLength(out[0]), 65535u);
    out.clear();
    EXPECT_FALSE(BuildTextPackets(PLP_POLL_SUBMIT, std::string(65535, 's'), out));
    EXPECT_FALSE(BuildTextPackets(PLP_PARTI_MARK, std::string(100000, 'm'), out));
    EXPECT_FALSE(BuildTextPackets(PLP_CHAT, "x", out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(BuildTextPackets(PLP_POLL_CLOSE, "ignored", out));
    EXPECT_EQ(out[0], (Bytes{17, 0, 0, 0}));
}

TEST(ControlPacket, AudioPiecesCountUp)
{
    Bytes pcm(16000, 7);
    auto out = BuildAudioPackets(5, pcm.data(), pcm.size());
    ASSERT_EQ(out.size(), 3u);
    const size_t expect[] = {7168, 7168, 1664};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(out[i][0], PLP_AUDIO);
        EXPECT_EQ(out[i][4], 5 + i);
        EXPECT_EQ(PayloadLength(out[i]), expect[i] + 1);
    }
}

struct Collect : ControlPacketReader::Sink {
    std::vector<std::pair<uint8_t, Bytes>> packets;
    void OnPacket(const ReceivedPacket& p) override
    {
        EXPECT_EQ(p.data[p.length], 0) << "payload must be NUL-terminated";
        packets.emplace_back(p.type, Bytes(p.data, p.data + p.length));
    }
};

TEST(ControlPacketReader, ShortReadsAndUnlistedPayloadsStayInStep)
{
    // A type 13 and a type 25 with payloads the receiver has no use for, then
    // a type 11: all three come out in order, whatever the cuts.
    Bytes stream = {13, 0, 0, 3, 'a', 'b', 'c', 25, 0, 0, 1, 'z'};
    ControlPacket req = BuildTwoNamePacket(PLP_REQUEST_CONTROL, "p1", "host");
    stream.insert(stream.end(), req.begin(), req.end());
    for (size_t stride = 1; stride <= stream.size(); ++stride) {
        ControlPacketReader r;
        Collect c;
        for (size_t at = 0; at < stream.size(); at += stride)
            r.Feed(stream.data() + at, std::min(stride, stream.size() - at), c);
        ASSERT_EQ(c.packets.size(), 3u);
        EXPECT_EQ(c.packets[0].first, 13);
        EXPECT_EQ(c.packets[1].first, 25);
        EXPECT_EQ(c.packets[2].first, 11);
        EXPECT_EQ(c.packets[2].second.size(), 256u);
        EXPECT_EQ(r.HeldBytes(), 0u);
    }
}

struct MockHandler : ControlPacketHandler {
    MOCK_METHOD(void, OnControlRequest, (uint8_t, const std::string&, const std::string&), (override));
    MOCK_METHOD(void, OnHostRequest, (uint8_t, const std::string&, const std::string&), (override));
    MOCK_METHOD(void, OnHostInvitation, (uint8_t, const std::string&, const std::string&), (override));
    MOCK_METHOD(void, OnPollPiece, (bool, std::string_view), (override));
    MOCK_METHOD(void, OnPollSubmit, (std::string_view), (override));
    MOCK_METHOD(void, OnPollClose, (), (override));
    MOCK_METHOD(void, OnCanvasMessage, (std::string_view), (override));
    MOCK_METHOD(void, OnPartiMark, (std::string_view), (override));
    MOCK_METHOD(void, OnFileShare, (const ReceivedPacket&), (override));
    MOCK_METHOD(void, OnLobbyState, (uint32_t), (override));
    MOCK_METHOD(void, OnMeetingStateChanged, (uint8_t), (override));
    MOCK_METHOD(void, OnDropped, (const ReceivedPacket&, const char*), (override));
};

ReceivedPacket Packet(uint8_t type, const Bytes& payload)
{
    static Bytes store;
    store = payload;
    store.push_back(0);
    ReceivedPacket p;
    p.type = type;
    p.data = store.data();
    p.length = payload.size();
    return p;
}

TEST(ControlPacketDispatcher, RoutesByTypeAndChecksPayloads)
{
    using ::testing::_;
    ::testing::StrictMock<MockHandler> h;
    ControlPacket two = BuildTwoNamePacket(PLP_ASK_HOST, "coord", "me");
    Bytes twoPayload(two.begin() + 4, two.end());

    EXPECT_CALL(h, OnHostInvitation(PLP_ASK_HOST, "coord", "me"));
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_ASK_HOST, twoPayload), h);

    EXPECT_CALL(h, OnDropped(_, _));
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_REQUEST_CONTROL, Bytes(100, 'x')), h);

    // Name fields without a NUL are cut at their 128 bytes.
    EXPECT_CALL(h, OnControlRequest(PLP_REQUEST_CONTROL, std::string(128, 'x'), std::string(128, 'x')));
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_REQUEST_CONTROL, Bytes(256, 'x')), h);

    EXPECT_CALL(h, OnPollPiece(true, std::string_view("abc")));
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_POLL_OPEN_PART, {'a', 'b', 'c'}), h);
    EXPECT_CALL(h, OnCanvasMessage(std::string_view("EVBH:1")));
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_CANVAS, {'E', 'V', 'B', 'H', ':', '1', 0, 'z'}), h);

    EXPECT_CALL(h, OnLobbyState(1u));
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_LOBBY_STATE_1, {}), h);
    EXPECT_CALL(h, OnLobbyState(2u));
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_LOBBY_STATE_2, {}), h);
    EXPECT_CALL(h, OnPollClose());
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_POLL_CLOSE, {}), h);
    EXPECT_CALL(h, OnMeetingStateChanged(PLP_SET_HOST));
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_SET_HOST, Bytes(136, 0)), h);
    // A listed type without payload is a signal too; 13 and voice are ignored.
    EXPECT_CALL(h, OnMeetingStateChanged(PLP_POLL_OPEN_LAST));
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_POLL_OPEN_LAST, {}), h);
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_REJECT_CONTROL, Bytes(256, 0)), h);
    DispatchControlPacket(ReceiveChannel::Control, Packet(PLP_AUDIO, {1, 2}), h);

    // The canvas channel applies canvas messages only.
    EXPECT_CALL(h, OnCanvasMessage(std::string_view("MEMA:x")));
    DispatchControlPacket(ReceiveChannel::Canvas, Packet(PLP_CANVAS, {'M', 'E', 'M', 'A', ':', 'x'}), h);
    DispatchControlPacket(ReceiveChannel::Canvas, Packet(PLP_LOBBY_STATE_1, {}), h);
    DispatchControlPacket(ReceiveChannel::Canvas, Packet(PLP_CANVAS, {}), h);
}

TEST(PollAssembly, JoinsPiecesAndBoundsThem)
{
    PollAssembly a;
    std::string whole;
    EXPECT_TRUE(a.Append("one "));
    EXPECT_TRUE(a.Append("two "));
    EXPECT_TRUE(a.Finish("three", whole));
    EXPECT_EQ(whole, "one two three");
    EXPECT_FALSE(a.Assembling());
    EXPECT_TRUE(a.Finish("only", whole));
    EXPECT_EQ(whole, "only");

    std::string piece(PollAssembly::kMaxText / 2 + 1, 'p');
    EXPECT_TRUE(a.Append(piece));
    EXPECT_FALSE(a.Append(piece));
    EXPECT_FALSE(a.Assembling());
}

} // namespace
