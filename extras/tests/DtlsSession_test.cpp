#include "extras/DtlsSession.h"

#include <openssl/ssl.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(DtlsHello, CarriesRoleSessionAndLaunchFieldsZeroPadded)
{
    std::vector<uint8_t> listener = voice::BuildDtlsHello(true, "S-42", "mode=1&x");
    ASSERT_EQ(listener.size(), 258u);
    EXPECT_EQ(listener[0], 0);
    EXPECT_EQ(listener[1], 1);
    EXPECT_EQ(std::string(listener.begin() + 2, listener.begin() + 6), "S-42");
    EXPECT_EQ(listener[6], 0);
    EXPECT_EQ(listener[129], 0);
    EXPECT_EQ(std::string(listener.begin() + 130, listener.begin() + 138), "mode=1&x");
    EXPECT_EQ(listener[138], 0);
    EXPECT_EQ(voice::BuildDtlsHello(false, "", "")[1], 0);

    // Longer fields are cut at 128 bytes and never run into the next one.
    std::vector<uint8_t> long_ = voice::BuildDtlsHello(false, std::string(300, 'a'), std::string(300, 'b'));
    ASSERT_EQ(long_.size(), 258u);
    EXPECT_EQ(long_[129], 'a');
    EXPECT_EQ(long_[130], 'b');
    EXPECT_EQ(long_[257], 'b');
}

TEST(DtlsReads, EverySslErrorValueIsClassified)
{
    using voice::ReadStep;
    const struct {
        int error;
        int sys;
        bool expired;
        ReadStep step;
    } cases[] = {
        {SSL_ERROR_NONE, 0, false, ReadStep::Proceed},
        {SSL_ERROR_SSL, 0, false, ReadStep::GiveUp},
        {SSL_ERROR_WANT_READ, 0, false, ReadStep::Retry},
        {SSL_ERROR_WANT_READ, 0, true, ReadStep::Proceed},  // the 1 s receive time-out
        {SSL_ERROR_WANT_WRITE, 0, false, ReadStep::GiveUp},
        {SSL_ERROR_WANT_X509_LOOKUP, 0, false, ReadStep::GiveUp},
        {SSL_ERROR_SYSCALL, 0, false, ReadStep::Proceed},
        {SSL_ERROR_SYSCALL, EINTR, false, ReadStep::Proceed},
        {SSL_ERROR_SYSCALL, EACCES, false, ReadStep::Proceed},
        {SSL_ERROR_SYSCALL, ECONNREFUSED, false, ReadStep::GiveUp},
        {SSL_ERROR_ZERO_RETURN, 0, false, ReadStep::Proceed},
        {SSL_ERROR_WANT_CONNECT, 0, false, ReadStep::GiveUp},
        {SSL_ERROR_WANT_ACCEPT, 0, false, ReadStep::GiveUp},
        {SSL_ERROR_WANT_ASYNC, 0, false, ReadStep::GiveUp},
        {SSL_ERROR_WANT_ASYNC_JOB, 0, false, ReadStep::GiveUp},
        {SSL_ERROR_WANT_CLIENT_HELLO_CB, 0, false, ReadStep::GiveUp},
        {SSL_ERROR_WANT_RETRY_VERIFY, 0, false, ReadStep::GiveUp},
        {99, 0, false, ReadStep::GiveUp},
    };
    for (const auto& c : cases)
        EXPECT_EQ(voice::ClassifySslError(c.error, c.sys, c.expired), c.step)
            << "error " << c.error << " errno " << c.sys << " expired " << c.expired;
}

} // namespace
