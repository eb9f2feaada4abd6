// Window messages between a frame window and its child dialogs, and the
// resources every frame uses (their ids are fixed: language packages carry
// the same ones).
#pragma once

#include <windows.h>

// Sent by the frame to each registered child after a resize. Equal to
// DM_SETDEFID: a child dialog must answer it (return TRUE) or the default
// dialog procedure takes it for a change of default button.
constexpr UINT WM_FRAME_RELAYOUT = WM_USER + 1;
// To the frame: wParam child window, lParam anchor flags. Equal to
// DM_REPOSITION, so children answer it too.
constexpr UINT WM_FRAME_ANCHOR_CHILD = WM_USER + 2;
constexpr UINT WM_FRAME_FLASH_START = WM_USER + 5;
constexpr UINT WM_FRAME_FLASH_STOP = WM_USER + 6;

constexpr UINT kFrameMenuId = 131;
constexpr UINT kFrameCmdSettings = 32771;
constexpr UINT kFrameCmdAbout = 104;
constexpr UINT kFrameStrSettings = 4024;
constexpr UINT kFrameStrHelp = 4025;
constexpr UINT kFrameStrAbout = 4026;
constexpr UINT kFrameStrTitle = 4029;
constexpr UINT kFrameStrWelcome = 4112;
constexpr wchar_t kFrameVersion[] = L"8.0.0.6";
