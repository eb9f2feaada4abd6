// What the login window does with each result: the page switch after a
// login request and the two workers' report tables.
#include "appliance/ui/LoginOutcome.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/ui/LoginResources.h"
#include "core/base/LogFormat.h"
#include "core/base/ThreadMessages.h"

#include <gtest/gtest.h>

namespace {

TEST(LoginOutcomeTest, PageSwitchByResultKindAndVerdict)
{
    struct Case {
        int result, kind, verdict;
        LoginAction action;
    } cases[] = {
        {CGI_OK, -1, -1, LoginAction::ShowMeetings},
        {CGI_LOGIN_FAILED, -1, -1, LoginAction::CredentialsPage},
        {CGI_SECOND_STEP, 1, -1, LoginAction::OtpPage},
        {CGI_SECOND_STEP, 2, -1, LoginAction::NewPinPage},
        {CGI_SECOND_STEP, 3, -1, LoginAction::SystemPinPage},
        {CGI_SECOND_STEP, 4, -1, LoginAction::NextCodePage},
        {CGI_SECOND_STEP, 5, -1, LoginAction::RadiusPage},
        {CGI_SECOND_STEP, 0, -1, LoginAction::StayUnknownKind},
        {CGI_SECOND_STEP, 6, -1, LoginAction::StayUnknownKind},
        {CGI_SECOND_STEP_AGAIN, 2, -1, LoginAction::NewPinPage},
        {CGI_SECOND_STEP_AGAIN, 3, -1, LoginAction::SystemPinPage},
        {CGI_SECOND_STEP_AGAIN, 1, -1, LoginAction::StayLogicError},
        {CGI_SECOND_STEP_VERDICT, 1, 0, LoginAction::ShowMeetings},
        {CGI_SECOND_STEP_VERDICT, 4, 0, LoginAction::ShowMeetings},
        {CGI_SECOND_STEP_VERDICT, 2, 0, LoginAction::PasscodePage},
        {CGI_SECOND_STEP_VERDICT, 3, 0, LoginAction::PasscodePage},
        {CGI_SECOND_STEP_VERDICT, 5, 0, LoginAction::StayLogicError},
        {CGI_SECOND_STEP_VERDICT, 1, 1, LoginAction::StayTfaRetry},
        {CGI_SECOND_STEP_VERDICT, 1, 2, LoginAction::ClearToServerPage},
        {CGI_SECOND_STEP_VERDICT, 1, 3, LoginAction::StayTfaReset},
        {CGI_SECOND_STEP_VERDICT, 1, -1, LoginAction::StayTfaUnknown},  // no verdict in the reply
        {CGI_SECOND_STEP_VERDICT, 1, 9, LoginAction::StayTfaUnknown},
        {CGI_CLIENT_CERT_NEEDED, -1, -1, LoginAction::CertificateChooser},
        {CGI_PASSWORD_EXPIRY, -1, -1, LoginAction::PasswordExpiry},
        {CGI_MULTIPLE_PORTALS, -1, -1, LoginAction::PortalPage},
        {CGI_NO_PORTAL, -1, -1, LoginAction::NoPortal},
        {CGI_GEOIP_DENIED, -1, -1, LoginAction::GeoDenied},
        {CGI_NO_RESPONSE, -1, -1, LoginAction::ClearToServerPage},
        {CGI_CLIENT_CERT_UNAVAILABLE, -1, -1, LoginAction::ClearToServerPage},
        {999, -1, -1, LoginAction::ClearToServerPage},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ActionForLoginResult(c.result, c.kind, c.verdict), c.action)
            << c.result << " kind " << c.kind << " verdict " << c.verdict;
}

struct ReportRow {
    int result;
    unsigned status;
    int logLevel;
    unsigned logText;
    unsigned post;
    uintptr_t postParam;
    bool box, captcha;
};

void ExpectRows(ResultReport (*report)(int32_t), const ReportRow* rows, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const ReportRow& row = rows[i];
        const ResultReport r = report(row.result);
        EXPECT_EQ(r.status, row.status) << row.result;
        EXPECT_EQ(r.logLevel, row.logLevel) << row.result;
        EXPECT_EQ(r.logText, row.logText) << row.result;
        EXPECT_EQ(r.post, row.post) << row.result;
        EXPECT_EQ(r.postParam, row.postParam) << row.result;
        EXPECT_EQ(r.tooOldBox, row.box) << row.result;
        EXPECT_EQ(r.captcha, row.captcha) << row.result;
    }
}

TEST(LoginOutcomeTest, ConnectReportTable)
{
    const ReportRow rows[] = {
        {CGI_OK, 0, 0, 0, 0, 0, false, false},
        {CGI_PROXY_AUTH_REQUIRED, 0, 0, 0, 0, 0, false, false},
        {CGI_NO_RESPONSE, IDS_NO_SERVER_RESPONSE_NL, DHLOG_INFO, IDS_LOG_NO_SERVER_RESPONSE_LC, 0, 0, false, false},
        {CGI_NEED_UPGRADE, IDS_NEW_CLIENT_AVAILABLE, DHLOG_WARN, IDS_LOG_NEW_CLIENT_AVAILABLE, PLM_UPGRADE_CLIENT, 0,
         false, false},
        {CGI_UPGRADE_REQUIRED, IDS_NEW_CLIENT_REQUIRED, DHLOG_WARN, IDS_LOG_NEW_CLIENT_REQUIRED, PLM_UPGRADE_CLIENT, 1,
         false, false},
        {CGI_SERVER_UNREACHABLE, IDS_SERVER_UNREACHABLE, DHLOG_ERROR, IDS_LOG_SERVER_UNREACHABLE, 0, 0, false, false},
        {CGI_NO_PORTAL, IDS_NO_PORTAL_ENABLED, DHLOG_ERROR, IDS_LOG_NO_PORTAL_ENABLED, 0, 0, false, false},
        {CGI_SERVER_TOO_OLD, IDS_CLIENT_CANNOT_RUN, DHLOG_WARN, IDS_LOG_SERVER_TOO_OLD, 0, 0, true, false},
        {CGI_GEOIP_DENIED, IDS_GEOIP_DENIED, DHLOG_ERROR, IDS_GEOIP_DENIED, 0, 0, false, true},
        {CGI_LOGIN_FAILED, 0, 0, 0, 0, 0, false, false},
    };
    ExpectRows(ConnectReport, rows, sizeof(rows) / sizeof(rows[0]));
    EXPECT_TRUE(ConnectReport(CGI_NO_RESPONSE).statusFromMessage);
    EXPECT_TRUE(ConnectReport(CGI_SERVER_TOO_OLD).logWithMinVersion);
}

TEST(LoginOutcomeTest, GuestLoginReportTable)
{
    const ReportRow rows[] = {
        {CGI_OK, 0, DHLOG_INFO, IDS_LOG_LOGIN_OK_PLAIN, PLM_SHOW_ACTIVE_MEETINGS, 0, false, false},
        {CGI_LOGIN_FAILED, IDS_LOGIN_FAILED_TEXT, DHLOG_WARN, IDS_LOG_LOGIN_FAILED_TEXT, 0, 0, false, false},
        {CGI_NO_RESPONSE, IDS_NO_SERVER_RESPONSE_TEXT, DHLOG_WARN, IDS_LOG_NO_SERVER_RESPONSE_TEXT, 0, 0, false,
         false},
        {CGI_NEED_UPGRADE, IDS_NEW_CLIENT_AVAILABLE, DHLOG_WARN, IDS_LOG_NEW_CLIENT_AVAILABLE, PLM_UPGRADE_CLIENT, 0,
         false, false},
        {CGI_UPGRADE_REQUIRED, IDS_NEW_CLIENT_REQUIRED, DHLOG_WARN, IDS_LOG_NEW_CLIENT_REQUIRED, PLM_UPGRADE_CLIENT, 1,
         false, false},
        {CGI_MULTIPLE_PORTALS, 0, DHLOG_INFO, IDS_LOG_MULTIPLE_PORTALS, 0, 0, false, false},
        {CGI_SERVER_UNREACHABLE, IDS_SERVER_UNREACHABLE, DHLOG_ERROR, IDS_LOG_SERVER_UNREACHABLE, 0, 0, false, false},
        {CGI_NO_PORTAL, IDS_NO_PORTAL_ENABLED, DHLOG_WARN, IDS_NO_PORTAL_ENABLED, 0, 0, false, false},
        {CGI_SERVER_TOO_OLD, IDS_CLIENT_CANNOT_RUN, DHLOG_WARN, IDS_LOG_SERVER_TOO_OLD, 0, 0, true, false},
        {CGI_GEOIP_DENIED, IDS_GEOIP_DENIED, DHLOG_ERROR, IDS_GEOIP_DENIED, 0, 0, false, true},
        {CGI_PROXY_AUTH_REQUIRED, 0, 0, 0, 0, 0, false, false},
    };
    ExpectRows(GuestLoginReport, rows, sizeof(rows) / sizeof(rows[0]));
    EXPECT_TRUE(GuestLoginReport(CGI_LOGIN_FAILED).joinMessage);
    EXPECT_TRUE(GuestLoginReport(CGI_MULTIPLE_PORTALS).portalPage);
}

} // namespace
