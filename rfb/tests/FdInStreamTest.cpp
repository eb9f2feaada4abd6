// The socket stream over a real loopback TCP connection.
#include "rfb/Exception.h"
#include "rfb/FdInStream.h"

#include "rfb/tests/LoopbackPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class FdInStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pair.ok()); }
    LoopbackPair pair;
};

TEST_F(FdInStreamTest, ReadsSmallAndBulkData)
{
    std::vector<uint8_t> data(20000);
    std::iota(data.begin(), data.end(), 0);
    data[0] = 0x12;
    data[1] = 0x34;
    std::thread peer([&] { pair.sendFromFar(data.data(), data.size()); });
    rdr::FdInStream in(pair.nearEnd());
    EXPECT_EQ(in.readU16(), 0x1234);
    std::vector<uint8_t> small(100), bulk(15000), rest(data.size() - 15102);
    in.readBytes(small.data(), small.size());
    in.readBytes(bulk.data(), bulk.size());
    in.readBytes(rest.data(), rest.size());
    peer.join();
    EXPECT_TRUE(std::equal(small.begin(), small.end(), data.begin() + 2));
    EXPECT_TRUE(std::equal(bulk.begin(), bulk.end(), data.begin() + 102));
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), data.begin() + 15102));
    EXPECT_EQ(in.pos(), data.size());
    EXPECT_EQ(in.bytesReceived(), data.size());
}

TEST_F(FdInStreamTest, SilentPeerTimesOutAndTheStreamStaysUsable)
{
    rdr::FdInStream in(pair.nearEnd(), 300);
    const auto start = Clock::now();
    EXPECT_THROW(in.readU8(), rdr::TimedOut);
    EXPECT_GE(msSince(start), 250);

    const uint8_t byte = 0x42;
    ASSERT_TRUE(pair.sendFromFar(&byte, 1));
    EXPECT_EQ(in.readU8(), 0x42);
}

TEST_F(FdInStreamTest, ClosedPeerThrowsEndOfStream)
{
    const uint8_t bytes[] = {1, 2, 3};
    ASSERT_TRUE(pair.sendFromFar(bytes, sizeof bytes));
    pair.closeFar();
    rdr::FdInStream in(pair.nearEnd());
    EXPECT_EQ(in.readU16(), 0x0102);
    try {
        in.readU16();
        FAIL() << "no exception";
    } catch (const rdr::EndOfStream& e) {
        EXPECT_STREQ(e.str(), "rdr::EndOfStream");
    }
}

TEST_F(FdInStreamTest, ItemLargerThanTheBufferThrows)
{
    rdr::FdInStream in(pair.nearEnd(), 0, 16);
    try {
        in.check(17);
        FAIL() << "no exception";
    } catch (const rdr::Exception& e) {
        EXPECT_STREQ(e.str(), "rdr::Exception: FdInStream overrun: max itemSize exceeded");
    }
}

TEST_F(FdInStreamTest, DiscardAndWaitDropsTheWindowAndWaits)
{
    const uint8_t bytes[] = {9, 8, 7, 6};
    ASSERT_TRUE(pair.sendFromFar(bytes, sizeof bytes));
    rdr::FdInStream in(pair.nearEnd());
    EXPECT_EQ(in.readU8(), 9);
    const auto start = Clock::now();
    EXPECT_EQ(in.discardAndWait(), 0);
    EXPECT_GE(msSince(start), 400);
    EXPECT_EQ(in.pos(), 4u);

    ASSERT_TRUE(pair.sendFromFar(bytes, 1));
    EXPECT_EQ(in.discardAndWait(), 1);
    EXPECT_EQ(in.readU8(), 9);
}

TEST_F(FdInStreamTest, TimingCountsWhatArrived)
{
    const std::vector<uint8_t> data(64000, 3);
    std::vector<uint8_t> got(data.size());
    std::thread peer([&] { pair.sendFromFar(data.data(), data.size()); });
    rdr::FdInStream in(pair.nearEnd());
    in.startTiming();
    in.readBytes(got.data(), got.size());
    in.stopTiming();
    peer.join();
    EXPECT_GT(in.kbitsPerSecond(), 0u);
    EXPECT_GE(in.timeWaited(), 5u);
}

TEST(FdInStreamFailure, BadSocketThrowsSystemException)
{
    rdr::SocketHandle closed;
    {
        LoopbackPair gone;
        ASSERT_TRUE(gone.ok());
        closed = gone.nearEnd();
    }
    rdr::FdInStream in(closed, 100);
    try {
        in.readU8();
        FAIL() << "no exception";
    } catch (const rdr::SystemException& e) {
        EXPECT_NE(e.err, 0);
        EXPECT_EQ(std::string(e.str()).rfind("rdr::SystemException: ", 0), 0u) << e.str();
    }
}

} // namespace
