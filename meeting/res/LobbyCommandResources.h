// Resource ids of the lobby's command dialogs and texts. The numbers are
// fixed (language packages replace texts by id); the resources are the
// program's (core/app/res/Corvisk.rc includes LobbyCommands.rc). Plain
// macros, so the resource compiler reads them too.
#pragma once

#define IDD_ASSIST_PERMISSION 223
#define IDD_RENAME 226
#define IDD_END_MEETING 227
#define IDD_END_MEETING_WIDE 298

#define IDC_END_QUIT 1100
#define IDC_ASSIST_START_END 1131
#define IDC_ASSIST_SET_HOST 1132
#define IDC_ASSIST_UNUSED 1133
#define IDC_ASSIST_VIEW_ONLY 1134
#define IDC_ASSIST_POLLING 1135
#define IDC_ASSIST_KICK 1136
#define IDC_ASSIST_INVITE 1137
#define IDC_ASSIST_RESCHEDULE 1138
#define IDC_ASSIST_ALL 1160
#define IDC_ASSIST_INVERSE 1161
#define IDC_ASSIST_NONE 1162
#define IDC_RENAME_EDIT 5400
#define IDC_RENAME_MESSAGE 5401
#define IDC_END_END 5402
#define IDC_RENAME_LABEL 5403
#define IDC_END_TEXT 5404

#define IDS_LANGUAGE_TAG 4001
#define IDS_RESCHEDULE_INFO_TITLE 4184
#define IDS_END_OR_QUIT 4185
#define IDS_END_MEETING 4186
#define IDS_QUIT_MEETING 4187
#define IDS_RENAME_TAKEN 4304
#define IDS_RENAME_FAILED 4305
#define IDS_RENAME_EMPTY 4306
#define IDS_RENAME_LABEL 4307
#define IDS_RENAME_TITLE 4308
#define IDS_RESCHEDULED 4400
#define IDS_RESCHEDULE_FAILED 4401
#define IDS_RESCHEDULE_RESULT_TITLE 4402
#define IDS_ASSIST_TITLE 4404
#define IDS_QUIT_ENDS_MEETING 4422
#define IDS_KICK_SELF 4514
