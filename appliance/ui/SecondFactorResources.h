// Resource ids of the login window's second-step pages: dialogs, controls
// and strings (fixed numbers; language packages replace texts by id).
// core/app/res/Corvisk.rc includes this file. Plain macros, so the resource
// compiler reads them too.
#pragma once

#define IDD_LOGIN_OTP 186
#define IDD_LOGIN_NEW_PIN 187
#define IDD_LOGIN_SYSTEM_PIN 188
#define IDD_LOGIN_PASSCODE 190
#define IDD_LOGIN_NEXT_CODE 191

#define IDC_STEP_MESSAGE 1097
#define IDC_STEP_CODE 1007
#define IDC_NEW_PIN_LABEL 2021
#define IDC_NEW_PIN 1053
#define IDC_PIN_CONFIRM_LABEL 2005
#define IDC_PIN_CONFIRM 1054

#define IDS_CHANGE_PIN 4236
#define IDS_NEW_PIN_LABEL 4237
#define IDS_PIN_CONFIRM_LABEL 4238
#define IDS_PIN_MISMATCH 4240
#define IDS_SYSTEM_PIN 4241
#define IDS_OTP_PROMPT 4315
#define IDS_EXTRA_TOKEN_PROMPT 4316
#define IDS_WRONG_TOKEN_TRIES 4317
#define IDS_OTP_FAILED_TRIES 4324
#define IDS_PASSCODE_HINT 4342
#define IDS_PASSCODE_PROMPT 4343
#define IDS_BUTTON_NO 4344
