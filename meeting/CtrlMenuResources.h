// The control bar's resources (meeting/res/CtrlMenu.rc, included by the
// program's Corvisk.rc). Texts with ids the lobby already carries (4143
// "Invite", 4164 "Polling", 4028 "Warning") come from those tables. Plain
// macros, so the resource compiler reads them too.
#pragma once

#define IDB_CTRL_MENU_BUTTONS 167
#define IDB_CTRL_MENU_SHARING 261
#define IDB_CTRL_MENU_WHITEBOARD 262
#define IDB_CTRL_MENU_ANNOTATION 263

#define IDD_SHARED_WINDOWS 248
#define IDC_SHARED_WINDOWS_LIST 1177
#define IDC_SHARED_SELECT_ALL 1178
#define IDC_SHARED_UNSELECT_ALL 1179

#define IDS_BAR_INVITE 4143
#define IDS_BAR_POLLING 4164
#define IDS_BAR_WARNING 4028
#define IDS_BAR_YOU_ARE_HOST 4226
#define IDS_BAR_YOU_ARE_PARTICIPANT 4227
#define IDS_BAR_VIEWER 4228
#define IDS_BAR_LOBBY 4229
#define IDS_BAR_OPTIONS 4230
#define IDS_BAR_ABOUT 4231
#define IDS_BAR_EXIT 4232
#define IDS_BAR_RESTORE 4233
#define IDS_BAR_CHAT 4181
#define IDS_BAR_RECORD 4492
#define IDS_BAR_PER_APP_SHARING 4505
#define IDS_BAR_WHITEBOARD 4506
#define IDS_BAR_ANNOTATION 4507
#define IDS_SHARED_WINDOWS_TITLE 4508
#define IDS_SHARED_SELECT_ALL 4509
#define IDS_SHARED_UNSELECT_ALL 4510
#define IDS_SHARED_COLUMN 4550
#define IDS_BAR_NO_RECORDER 4569
#define IDS_SHARED_DESKTOP 5900
#define IDS_SHARED_TASKBAR 5901
#define IDS_BAR_MENU 5902
