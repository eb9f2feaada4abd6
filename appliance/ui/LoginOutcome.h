// What the login window does with a result code: after a login or
// second-step request (the page switch), and the reports of the two workers
// (status line, log line, message to the main thread, message box).
#pragma once

#include <cstdint>

enum class LoginAction {
    ShowMeetings,     // post the meeting list (wParam 1), log "Login OK."
    CredentialsPage,  // the appliance's text in the status line
    OtpPage,
    NewPinPage,
    SystemPinPage,
    NextCodePage,
    RadiusPage,
    PasscodePage,
    PortalPage,
    CertificateChooser,
    PasswordExpiry,
    NoPortal,         // status and WARN 4311
    GeoDenied,        // status, ERROR, captcha page
    StayTfaRetry,     // WARN 4326
    StayTfaReset,     // WARN 4327
    StayTfaUnknown,   // WARN 4328
    StayUnknownKind,  // ERROR 4313
    StayLogicError,   // ERROR 4325
    ClearToServerPage,
};

// Second-step kinds from "X-KE-tf:" and verdicts from "X-KE-tfresult:".
enum SecondStepKind : int32_t {
    SECOND_STEP_OTP = 1,
    SECOND_STEP_RSA_NEW_PIN = 2,
    SECOND_STEP_RSA_SYSTEM_PIN = 3,
    SECOND_STEP_RSA_NEXT_CODE = 4,
    SECOND_STEP_RADIUS = 5,
};

LoginAction ActionForLoginResult(int32_t result, int32_t secondStepKind, int32_t verdict);

// One report row; zero fields mean "nothing of that kind".
struct ResultReport {
    unsigned status = 0;             // string id for the status line
    bool statusFromMessage = false;  // the appliance's text instead, when it has one
    bool joinMessage = false;        // status "%s %s" of the string and the appliance's text
    int statusKind = 0;              // 0 normal, 1 error, 2 warning
    int logLevel = 0;                // DHLOG_ERROR / WARN / INFO
    unsigned logText = 0;            // string id of the log line
    bool logWithMinVersion = false;  // the log line names the minimum appliance version
    unsigned post = 0;               // thread message to the main thread
    uintptr_t postParam = 0;
    bool tooOldBox = false;          // the task-modal "cannot run on the server" box
    bool captcha = false;            // open the appliance's captcha page
    bool portalPage = false;
};

// The host road's domain query (0 and 19 are the page's business).
ResultReport ConnectReport(int32_t result);
// The guest login of the join road and the portal page.
ResultReport GuestLoginReport(int32_t result);

// The oldest appliance this client runs against.
constexpr char kMinApplianceVersion[] = "6.0.0.0-8sv";
