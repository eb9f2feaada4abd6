// VSocket over a real loopback TCP connection under Winsock.
#include "rfb/VSocket.h"

#include "rfb/tests/LoopbackPair.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

std::vector<uint8_t> bytes(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

class VSocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pair.ok());
        bool started = false;
        InitWinsock(&started);
        ASSERT_TRUE(started);
        WSACleanup();
        sock.SetSocket(pair.nearEnd());
    }
    LoopbackPair pair;
    VSocket sock;
};

TEST_F(VSocketTest, InitWinsockRecordsVersionTwo)
{
    EXPECT_EQ(RecordedWinsockVersion() & 0xFF, 2);
}

TEST_F(VSocketTest, LargeSendArrivesWhole)
{
    const auto data = bytes(20000, 3);
    EXPECT_EQ(sock.SendExact(data.data(), data.size()), 20000u);
    std::vector<uint8_t> got(20000);
    ASSERT_TRUE(pair.receiveAtFar(got.data(), got.size()));
    EXPECT_EQ(got, data);
}

TEST_F(VSocketTest, ReadExactOfNothingDoesNotTouchTheSocket)
{
    VSocket none;
    uint8_t b = 0;
    EXPECT_NE(none.ReadExact(&b, 0), 0);
}

TEST_F(VSocketTest, ReadsExactlyAndFailsWhenThePeerCloses)
{
    const auto data = bytes(5000, 9);
    std::thread peer([&] {
        for (size_t i = 0; i < data.size(); i += 1000) {
            pair.sendFromFar(data.data() + i, 1000);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        pair.closeFar();
    });
    std::vector<uint8_t> got(data.size());
    EXPECT_NE(sock.ReadExact(got.data(), got.size()), 0);
    EXPECT_EQ(got, data);
    uint8_t b;
    EXPECT_EQ(sock.ReadExact(&b, 1), 0);
    peer.join();
}

TEST_F(VSocketTest, ReceiveTimeOutEndsTheRead)
{
    ASSERT_NE(sock.SetTimeout(300), 0);
    const auto start = Clock::now();
    uint8_t b;
    EXPECT_EQ(sock.ReadExact(&b, 1), 0);
    EXPECT_GE(msSince(start), 250);
    EXPECT_LT(msSince(start), 5000);
}

// On a non-blocking socket a read waits in select until data arrives instead
// of spinning on WSAEWOULDBLOCK.
TEST_F(VSocketTest, WouldBlockWaitsWithoutSpinning)
{
    u_long on = 1;
    ASSERT_EQ(ioctlsocket(static_cast<SOCKET>(pair.nearEnd()), FIONBIO, &on), 0);
    std::thread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const uint8_t b = 0x33;
        pair.sendFromFar(&b, 1);
    });
    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelBefore, &userBefore);
    uint8_t b = 0;
    EXPECT_NE(sock.ReadExact(&b, 1), 0);
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernelAfter, &userAfter);
    peer.join();
    EXPECT_EQ(b, 0x33);
    auto ticks = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
    const uint64_t cpu100ns = ticks(userAfter) - ticks(userBefore) + ticks(kernelAfter) - ticks(kernelBefore);
    EXPECT_LT(cpu100ns, 2000000u) << "the read burned CPU while waiting";
}

// After a failed send nothing more goes out: every later call fails, so a
// torn update is never followed by more data.
TEST_F(VSocketTest, FailedSendMarksTheSocketFailed)
{
    pair.closeFar();
    const auto block = bytes(65536, 5);
    bool failed = false;
    for (int i = 0; i < 200 && !failed; ++i) {
        failed = sock.SendExact(block.data(), block.size()) == 0;
        if (!failed)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(failed);
    EXPECT_EQ(sock.SendExact(block.data(), 10), 0u);
    uint8_t b;
    EXPECT_EQ(sock.ReadExact(&b, 1), 0);
}

// Two writers, as the client thread and the update sender: each message
// arrives whole, also one longer than a send block.
TEST_F(VSocketTest, ConcurrentWritersNeverSplitAMessage)
{
    constexpr int kMessages = 300;
    constexpr size_t kLen = 10000;
    auto writer = [&](uint8_t fill) {
        const std::vector<uint8_t> msg(kLen, fill);
        for (int i = 0; i < kMessages; ++i)
            sock.SendExact(msg.data(), msg.size());
    };
    std::thread a(writer, 'A');
    std::thread b(writer, 'B');
    std::vector<uint8_t> got(2 * kMessages * kLen);
    const bool received = pair.receiveAtFar(got.data(), got.size());
    a.join();
    b.join();
    ASSERT_TRUE(received);
    for (size_t m = 0; m < got.size(); m += kLen)
        for (size_t k = 1; k < kLen; ++k)
            ASSERT_EQ(got[m + k], got[m]) << "message at byte " << m << " was split";
}

} // namespace
