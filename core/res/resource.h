// Resource ids of Corvisk.exe. The numbers are fixed: language packages carry
// string tables with the same ids.
#pragma once

#define IDI_CORVISK 137
#define IDM_FRAME 131
#define IDD_ABOUT 153

#define IDC_ABOUT_VERSION_LABEL 1126
#define IDC_ABOUT_PRODUCT 2001
#define IDC_ABOUT_VERSION 2029

#define IDM_SETTINGS 32771
#define IDM_ABOUT 104

#define IDS_MENU_SETTINGS 4024
#define IDS_MENU_HELP 4025
#define IDS_MENU_ABOUT 4026
#define IDS_ANOTHER_INSTANCE 4027
#define IDS_WARNING 4028
#define IDS_FRAME_TITLE 4029
#define IDS_PRODUCT_NAME 4138
#define IDS_VERSION 4139
#define IDS_ABOUT_CAPTION 4347
#define IDS_TRAY_ABOUT 4360

#define CORVISK_VERSION_TEXT "8.0.0.6"
#define CORVISK_VERSION_BINARY 8, 0, 0, 6
