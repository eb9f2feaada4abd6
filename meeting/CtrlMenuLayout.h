// The control bar's arithmetic, without windows: which buttons a user gets,
// the bar's width, where the shown and the hidden bar sit, the slide's steps
// and the turning role text.
#pragma once

#include "meeting/LobbyCommands.h"

#include <string>
#include <vector>

// Command ids of the bar's buttons and of the host's menu.
enum CtrlMenuCommand : int {
    kBarExit = 1,
    kBarRemoveWatch = 2,
    kBarInvite = 3000,
    kBarChat = 3001,
    kBarPolling = 3002,
    kBarLobby = 3003,
    kBarViewer = 3004,
    kBarOptions = 3005,
    kBarAbout = 3007,
    kBarCompact = 3008,
    kBarHostMenu = 3009,
    kBarRecord = 3010,
    kBarAnnotation = 3011,
    kBarWhiteboard = 3012,
    kBarSharedWindows = 3013,
    kBarTakeBack = 0x800A,
};

// callerRole: 1 coordinator, 2 assist, else none; ownRole 1 host.
struct BarRoles {
    int callerRole = 0;
    int ownRole = 0;
    unsigned assistPermission = 0;
};

// The 46-pixel buttons, left to right (the two small ones, 3008 and 3009,
// always follow at the right end).
std::vector<int> BarButtons(const BarRoles& roles);

constexpr int kBarHeight = 86;
constexpr int kCompactHeight = 26;
constexpr int kButtonWidth = 46;
constexpr int kButtonHeight = 56;
constexpr int kSmallButton = 14;
constexpr int kBarMargin = 4;
// Where the bar starts: this far above the work area's top.
constexpr int kBarStartTop = -63;
constexpr int kSlideStep = 3;

// The role's width, widened to fit the buttons where it is too narrow.
int BarWidth(const BarRoles& roles);

// The top of the bar (relative to the work area's top) when hidden: the
// role-text strip (23 pixels in full view, 6 compact) stays in sight.
int HiddenTop(bool fullView);
int ShownHeight(bool fullView);
// One slide tick from top; the end position once there.
int SlideTick(int top, bool showing, bool fullView);

// The role text turned by one character (its first character to its end).
std::wstring TurnMarquee(const std::wstring& text);
