#include "appliance/ui/LoginOutcome.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/ui/LoginResources.h"
#include "core/base/LogFormat.h"
#include "core/base/ThreadMessages.h"

LoginAction ActionForLoginResult(int32_t result, int32_t kind, int32_t verdict)
{
    switch (result) {
    case CGI_OK: return LoginAction::ShowMeetings;
    case CGI_LOGIN_FAILED: return LoginAction::CredentialsPage;
    case CGI_SECOND_STEP:
        switch (kind) {
        case SECOND_STEP_OTP: return LoginAction::OtpPage;
        case SECOND_STEP_RSA_NEW_PIN: return LoginAction::NewPinPage;
        case SECOND_STEP_RSA_SYSTEM_PIN: return LoginAction::SystemPinPage;
        case SECOND_STEP_RSA_NEXT_CODE: return LoginAction::NextCodePage;
        case SECOND_STEP_RADIUS: return LoginAction::RadiusPage;
        default: return LoginAction::StayUnknownKind;
        }
    case CGI_SECOND_STEP_AGAIN:
        if (kind == SECOND_STEP_RSA_NEW_PIN)
            return LoginAction::NewPinPage;
        if (kind == SECOND_STEP_RSA_SYSTEM_PIN)
            return LoginAction::SystemPinPage;
        return LoginAction::StayLogicError;
    case CGI_SECOND_STEP_VERDICT:
        switch (verdict) {
        case 0:
            if (kind == SECOND_STEP_OTP || kind == SECOND_STEP_RSA_NEXT_CODE)
                return LoginAction::ShowMeetings;
            if (kind == SECOND_STEP_RSA_NEW_PIN || kind == SECOND_STEP_RSA_SYSTEM_PIN)
                return LoginAction::PasscodePage;
            return LoginAction::StayLogicError;
        case 1: return LoginAction::StayTfaRetry;
        case 2: return LoginAction::ClearToServerPage;
        case 3: return LoginAction::StayTfaReset;
        default: return LoginAction::StayTfaUnknown;
        }
    case CGI_CLIENT_CERT_NEEDED: return LoginAction::CertificateChooser;
    case CGI_PASSWORD_EXPIRY: return LoginAction::PasswordExpiry;
    case CGI_MULTIPLE_PORTALS: return LoginAction::PortalPage;
    case CGI_NO_PORTAL: return LoginAction::NoPortal;
    case CGI_GEOIP_DENIED: return LoginAction::GeoDenied;
    default: return LoginAction::ClearToServerPage;
    }
}

namespace {

ResultReport Common(int32_t result)
{
    ResultReport r;
    switch (result) {
    case CGI_NEED_UPGRADE:
        r.status = IDS_NEW_CLIENT_AVAILABLE;
        r.statusKind = 2;
        r.logLevel = DHLOG_WARN;
        r.logText = IDS_LOG_NEW_CLIENT_AVAILABLE;
        r.post = PLM_UPGRADE_CLIENT;
        r.postParam = 0;
        break;
    case CGI_UPGRADE_REQUIRED:
        r.status = IDS_NEW_CLIENT_REQUIRED;
        r.statusKind = 2;
        r.logLevel = DHLOG_WARN;
        r.logText = IDS_LOG_NEW_CLIENT_REQUIRED;
        r.post = PLM_UPGRADE_CLIENT;
        r.postParam = 1;
        break;
    case CGI_SERVER_UNREACHABLE:
        r.status = IDS_SERVER_UNREACHABLE;
        r.statusKind = 1;
        r.logLevel = DHLOG_ERROR;
        r.logText = IDS_LOG_SERVER_UNREACHABLE;
        break;
    case CGI_SERVER_TOO_OLD:
        r.status = IDS_CLIENT_CANNOT_RUN;
        r.statusKind = 1;
        r.logLevel = DHLOG_WARN;
        r.logText = IDS_LOG_SERVER_TOO_OLD;
        r.logWithMinVersion = true;
        r.tooOldBox = true;
        break;
    case CGI_GEOIP_DENIED:
        r.status = IDS_GEOIP_DENIED;
        r.statusKind = 1;
        r.logLevel = DHLOG_ERROR;
        r.logText = IDS_GEOIP_DENIED;
        r.captcha = true;
        break;
    default: break;
    }
    return r;
}

} // namespace

ResultReport ConnectReport(int32_t result)
{
    ResultReport r = Common(result);
    switch (result) {
    case CGI_NO_RESPONSE:
        r.status = IDS_NO_SERVER_RESPONSE_NL;
        r.statusFromMessage = true;
        r.statusKind = 1;
        r.logLevel = DHLOG_INFO;
        r.logText = IDS_LOG_NO_SERVER_RESPONSE_LC;
        break;
    case CGI_NO_PORTAL:
        r.status = IDS_NO_PORTAL_ENABLED;
        r.statusKind = 1;
        r.logLevel = DHLOG_ERROR;
        r.logText = IDS_LOG_NO_PORTAL_ENABLED;
        break;
    default: break;
    }
    return r;
}

ResultReport GuestLoginReport(int32_t result)
{
    ResultReport r = Common(result);
    switch (result) {
    case CGI_OK:
        r.logLevel = DHLOG_INFO;
        r.logText = IDS_LOG_LOGIN_OK_PLAIN;
        r.post = PLM_SHOW_ACTIVE_MEETINGS;
        r.postParam = 0;
        break;
    case CGI_LOGIN_FAILED:
        r.status = IDS_LOGIN_FAILED_TEXT;
        r.joinMessage = true;
        r.statusKind = 1;
        r.logLevel = DHLOG_WARN;
        r.logText = IDS_LOG_LOGIN_FAILED_TEXT;
        break;
    case CGI_NO_RESPONSE:
        r.status = IDS_NO_SERVER_RESPONSE_TEXT;
        r.statusKind = 1;
        r.logLevel = DHLOG_WARN;
        r.logText = IDS_LOG_NO_SERVER_RESPONSE_TEXT;
        break;
    case CGI_MULTIPLE_PORTALS:
        r.logLevel = DHLOG_INFO;
        r.logText = IDS_LOG_MULTIPLE_PORTALS;
        r.portalPage = true;
        break;
    case CGI_NO_PORTAL:
        r.status = IDS_NO_PORTAL_ENABLED;
        r.statusKind = 1;
        r.logLevel = DHLOG_WARN;
        r.logText = IDS_NO_PORTAL_ENABLED;
        break;
    default: break;
    }
    return r;
}
