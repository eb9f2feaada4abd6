// After the chooser the login is sent again with the chosen certificate: what
// its result leads to.
#include "appliance/ui/ClientCertLogin.h"

#include "appliance/cgi/CgiResult.h"

#include <gtest/gtest.h>

namespace {

TEST(ClientCertLoginTest, PagesAndSuccessGoOnFailuresCountAsTheCertificateRefused)
{
    const struct {
        int32_t result, kind;
        bool goesOn;
    } cases[] = {
        {CGI_OK, 0, true},
        {CGI_LOGIN_FAILED, 0, true},         // the credentials page with the appliance's text
        {CGI_SECOND_STEP, 1, true},          // the one-time password page
        {CGI_MULTIPLE_PORTALS, 0, true},
        {CGI_PASSWORD_EXPIRY, 0, true},
        {CGI_GEOIP_DENIED, 0, true},
        {CGI_NO_PORTAL, 0, true},
        {CGI_SECOND_STEP, 9, true},          // an unknown kind is logged, the page stays
        {CGI_NO_RESPONSE, 0, false},         // the handshake with the certificate failed
        {CGI_FAILED, 0, false},
        {CGI_CLIENT_CERT_NEEDED, 0, false},  // asked again: no second chooser
        {CGI_CLIENT_CERT_UNAVAILABLE, 0, false},
        {-5, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CertificateLoginGoesOn(c.result, c.kind), c.goesOn) << c.result << " kind " << c.kind;
}

} // namespace
