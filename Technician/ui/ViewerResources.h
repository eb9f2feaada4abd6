// Resource ids of the viewer's windows: icons, cursors, strings and
// commands. The numbers are fixed (language packages replace texts by id);
// the resources themselves are the program's (core/app/res/Corvisk.rc
// includes this file). Plain macros, so the resource compiler reads them too.
#pragma once

// The program's icons (defined by the program's resources).
#define IDI_VIEWER_BIG 137
#define IDI_VIEWER_SMALL 140

// The viewer window's cursors: 157 the class cursor and local-cursor mode 0,
// 156 local-cursor mode 1.
#define IDC_VIEWER_DOT 156
#define IDC_VIEWER_CROSS 157

// The frame's title (the program's own string).
#define IDS_VIEWER_TITLE 4029

#define IDS_ZOOM_BEST_FIT 4365
#define IDS_ZOOM_FIT_HEIGHT 4366
#define IDS_ZOOM_FIT_WIDTH 4367
#define IDS_ZOOM_AUTO_SCALE 4368
#define IDS_DORMANT_MODE 4369
#define IDS_DORMANT_ENTERING 4370
#define IDS_DORMANT_LEAVING 4371
#define IDS_ZOOM_AUTO_SCALING 4372
#define IDS_ZOOM_STEP 4373
#define IDS_ZOOM_TRUE_SIZE 4374
#define IDS_FULL_SCREEN 4606

// Zoom toolbar commands (1233 is the zoom combo box's place).
#define IDM_ZOOM_AUTO_SCALING 1231
#define IDM_ZOOM_STEP 1232
#define IDM_ZOOM_COMBO 1233
#define IDM_ZOOM_TRUE_SIZE 1234

// The frame's system-menu item (system commands keep the low four bits clear).
#define IDM_FULL_SCREEN 0x0110
