// Resource ids of the chat and the participant marks: their dialogs,
// controls, picture and texts. The numbers are fixed (language packages
// replace texts by id); the resources are the program's (Corvisk.rc includes
// meeting/res/Chat.rc). Plain macros, so the resource compiler reads them.
#pragma once

#define IDD_CHAT_FLOATING 147
#define IDD_CHAT_DOCKED 150
#define IDD_CHAT_HOST_HINT 221
#define IDD_CHAT_HOST_HINT_JPN 278
#define IDD_PARTI_MARK 264
#define IDB_PARTI_MARK 265

#define IDC_CHAT_SEND 1040
#define IDC_CHAT_INPUT 1041
#define IDC_CHAT_HISTORY 1042
#define IDC_CHAT_RECIPIENTS 1054
#define IDC_CHAT_TO_LABEL 6050
#define IDC_CHAT_HINT_1 6051
#define IDC_CHAT_HINT_2 6052
#define IDC_CHAT_HINT_3 6053
#define IDC_CHAT_HINT_4 6054

#define IDS_CHAT_CLOSE 4144
#define IDS_CHAT_TITLE 4181
#define IDS_CHAT_SEND 4182
#define IDS_CHAT_TO 4183
#define IDS_CHAT_ALL_PARTICIPANTS 4209
#define IDS_CHAT_HEADER 4364
#define IDS_CHAT_HINT_1 4375
#define IDS_CHAT_HINT_2 4376
#define IDS_CHAT_HINT_3 4377
#define IDS_CHAT_HINT_4 4378
#define IDS_CHAT_ME 4524
#define IDS_CHAT_ALL 4525
#define IDS_CHAT_LANGUAGE_TAG 4001
#define IDS_CHAT_SEND_FAILED 6060
