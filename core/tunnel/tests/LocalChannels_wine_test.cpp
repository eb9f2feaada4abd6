// The loopback channels pair each client end with its own accepted end, and
// close whatever else connects to the listener.
#include "core/tunnel/LocalChannels_win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const LocalChannel kMeeting[] = {LocalChannel::Chat, LocalChannel::Canvas, LocalChannel::FileShare,
                                 LocalChannel::Audio, LocalChannel::Control};

std::string ReadSome(SOCKET s)
{
    char buf[64];
    if (WaitReadable(s, 5000) != 1)
        return "(nothing)";
    int n = recv(s, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// A stray connection made before the channels (another program, a port
// scanner) used to take a pairing slot; it is closed and every channel still
// gets its own accepted end.
TEST(LocalChannels, StrayConnectionIsClosedAndEveryChannelPairs)
{
    LocalChannels ch;
    ASSERT_EQ(ch.StartListener(0), 1); // any free port: tests run side by side
    SocketHandle stray(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(ch.Port());
    ASSERT_EQ(connect(stray.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

    ASSERT_EQ(ch.CreateChannels(0), 1);
    EXPECT_EQ(ReadSome(stray.get()), "") << "the stray connection stays open";
    for (LocalChannel c : kMeeting) {
        std::string tag = "channel " + std::to_string(static_cast<int>(c));
        ASSERT_TRUE(SendAll(ch.ClientEnd(c), tag.data(), tag.size()));
        EXPECT_EQ(ReadSome(ch.AcceptedEnd(c)), tag);
    }
    EXPECT_EQ(ch.ClientEnd(LocalChannel::Sharing), INVALID_SOCKET);
    ASSERT_EQ(ch.CreateChannels(1), 1);
    ASSERT_TRUE(SendAll(ch.AcceptedEnd(LocalChannel::Sharing), "down", 4));
    EXPECT_EQ(ReadSome(ch.ClientEnd(LocalChannel::Sharing)), "down");
    EXPECT_EQ(ch.CreateChannels(7), 1); // other modes make nothing
}

TEST(LocalChannels, PreferredPortTakenFallsBackToAnother)
{
    LocalChannels first;
    ASSERT_EQ(first.StartListener(0), 1);
    LocalChannels second;
    ASSERT_EQ(second.StartListener(first.Port()), 1);
    EXPECT_NE(second.Port(), first.Port());
    EXPECT_EQ(second.CreateChannels(0), 1);
}

} // namespace
