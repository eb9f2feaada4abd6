#pragma once
// Messages posted to the main thread (PostThreadMessage to the manager's
// mainThreadId, no window) and handled by CManager::OnThreadMessage. Values
// below 60101 are WM_USER based; 60101-60130 are the program's own range.
// Every value not listed here is ignored by the dispatcher.

constexpr unsigned PLM_RECORD_FRAME = 1029;        // wParam: frame bitmap of the viewer
constexpr unsigned PLM_SET_FOREGROUND_WND = 1032;  // wParam: window tray activation raises
constexpr unsigned PLM_RESET_CTRL_MENU = 1036;
constexpr unsigned PLM_QUIT = 60101;                  // ends the loop
constexpr unsigned PLM_SHOW_ACTIVE_MEETINGS = 60102;  // wParam: 1 opened by a login or session test
constexpr unsigned PLM_SHOW_MEETING_SETUP = 60103;
constexpr unsigned PLM_LOGOUT = 60104;
constexpr unsigned PLM_LOGIN_CLOSED = 60105;  // ends the loop
constexpr unsigned PLM_DELETE_CHAT = 60106;
constexpr unsigned PLM_START_MEETING = 60107;
constexpr unsigned PLM_JOIN_MEETING = 60108;
constexpr unsigned PLM_OPEN_SHARING_VIEW = 60109;
constexpr unsigned PLM_CREATE_VNC_SERVER = 60110;
constexpr unsigned PLM_CREATE_VIEWER = 60111;
constexpr unsigned PLM_START_MAG_CAPTURE = 60112;
constexpr unsigned PLM_MEETING_LEFT = 60113;  // wParam: 0x101 from the leave button, else 0
constexpr unsigned PLM_SHARING_RESUME_A = 60114;
constexpr unsigned PLM_SHARING_RESUME_B = 60115;
constexpr unsigned PLM_STOP_SHARING = 60116;
constexpr unsigned PLM_SHOW_ABOUT = 60117;  // wParam: parent window or 0
constexpr unsigned PLM_SHOW_CHAT = 60118;
constexpr unsigned PLM_DOCK_PANEL = 60119;  // wParam: 1 dock, 0 undock
constexpr unsigned PLM_FOCUS_PANEL = 60120;
constexpr unsigned PLM_TRAY_ACTIVATE = 60121;
constexpr unsigned PLM_TOGGLE_POLLING = 60122;
constexpr unsigned PLM_PROFILES_CHANGED = 60123;  // a window message to the login window
constexpr unsigned PLM_RESCHEDULE = 60124;
constexpr unsigned PLM_SETUP_DONE = 60125;  // also forwarded to the lobby window
constexpr unsigned PLM_OPEN_OPTIONS = 60126;
constexpr unsigned PLM_UPGRADE_CLIENT = 60127;  // wParam: 1 when the upgrade is required
constexpr unsigned PLM_SHOW_MEETING_LIST = 60128;
constexpr unsigned PLM_TOGGLE_RECORDER = 60129;  // wParam: 4 from the lobby
constexpr unsigned PLM_SETTINGS_CHANGED = 60130;

constexpr unsigned PLM_LEAVE_BUTTON = 0x101;  // PLM_MEETING_LEFT's wParam from the lobby
// The local-input watch of the control bar, installed (wParam 1) or removed
// (0) on the main thread, whose loop serves its hooks and owns the bar.
constexpr unsigned PLM_SET_INPUT_WATCH = 0x8001;  // WM_APP + 1, outside the range above
// A password change asked for from the login window has ended: the login
// window, if one is open, goes back to its server page.
constexpr unsigned PLM_PASSWORD_CHANGE_ENDED = 0x8002;  // WM_APP + 2
// The annotation over the shared screen changed: the sharing viewer's window
// repaints (posted from a canvas thread).
constexpr unsigned PLM_REPAINT_SHARING_VIEW = 0x8060;  // WM_APP + 0x60

// Window messages of the neighbours that the manager posts.
constexpr unsigned WM_CTRL_MENU_COMMAND = 1033;  // WM_USER + 9 to the control bar
constexpr unsigned kCtrlMenuTrayActivate = 4999;
constexpr unsigned WM_VIEWER_SESSION = 1035;  // WM_USER + 11 to the viewer window
constexpr unsigned WM_TRAY_NOTIFY = 1031;     // the tray icon's callback message
