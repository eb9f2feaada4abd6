#include "core/base/NumericAddress_win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class FormatNumericAddressTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &m_wsa), 0); }
    void TearDown() override { WSACleanup(); }

private:
    WSADATA m_wsa;
};

TEST_F(FormatNumericAddressTest, LoopbackAddresses)
{
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(8932);
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string host, service;
    EXPECT_EQ(FormatNumericAddress(reinterpret_cast<sockaddr*>(&v4), sizeof v4, host, service), 0);
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(service, "8932");
    EXPECT_EQ(WSAGetLastError(), 0);

    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(443);
    v6.sin6_addr = in6addr_loopback;
    EXPECT_EQ(FormatNumericAddress(reinterpret_cast<sockaddr*>(&v6), sizeof v6, host, service), 0);
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(service, "443");
}

TEST_F(FormatNumericAddressTest, FailuresAreReportedAndLeaveTheTextAlone)
{
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    std::string host = "h", service = "s";

    sockaddr odd{};
    odd.sa_family = 12345;
    int error = FormatNumericAddress(&odd, sizeof odd, host, service);
    EXPECT_NE(error, 0);
    EXPECT_EQ(WSAGetLastError(), error);

    // A length shorter than the family's address.
    error = FormatNumericAddress(reinterpret_cast<sockaddr*>(&v4), 4, host, service);
    EXPECT_NE(error, 0);
    EXPECT_EQ(WSAGetLastError(), error);

    EXPECT_EQ(FormatNumericAddress(nullptr, sizeof v4, host, service), WSAEFAULT);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(host, "h");
    EXPECT_EQ(service, "s");
}

} // namespace
