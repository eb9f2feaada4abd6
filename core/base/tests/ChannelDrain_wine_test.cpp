#include "core/base/ChannelDrain.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

// A connected loopback pair: the peer's end and the feature's end.
struct Pair {
    SOCKET peer = INVALID_SOCKET, feature = INVALID_SOCKET;
    Pair()
    {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
        SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(l, 1);
        getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
        peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        connect(peer, reinterpret_cast<sockaddr*>(&a), sizeof a);
        feature = accept(l, nullptr, nullptr);
        closesocket(l);
    }
    ~Pair()
    {
        closesocket(peer);
        closesocket(feature);
        WSACleanup();
    }
};

// Regression: the chat, file-share and voice stubs started no reader, so a
// peer talking filled their channel until the relay stopped behind it. The
// drain takes far more than every buffer holds, and stops within its limit.
TEST(ChannelDrain, TakesEverythingAPeerSendsAndStopsInTime)
{
    Pair p;
    ASSERT_NE(p.feature, INVALID_SOCKET);
    ChannelDrain drain;
    ASSERT_TRUE(drain.Start(static_cast<std::uintptr_t>(p.feature)));
    EXPECT_FALSE(drain.Start(static_cast<std::uintptr_t>(p.feature)));
    std::vector<char> chunk(1 << 20, 'v');
    for (int i = 0; i < 32; ++i) // 32 MB: a blocking send returns only if it is read
        ASSERT_EQ(send(p.peer, chunk.data(), static_cast<int>(chunk.size()), 0), static_cast<int>(chunk.size()));
    for (int i = 0; i < 500 && drain.Discarded() < 32u << 20; ++i)
        Sleep(10);
    EXPECT_EQ(drain.Discarded(), 32u << 20);
    auto t0 = std::chrono::steady_clock::now();
    drain.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(ChannelDrain::kJoinMs));
    EXPECT_FALSE(drain.Start(static_cast<std::uintptr_t>(INVALID_SOCKET)));
}

} // namespace
