// The polling panel's tool strip: a toolbar of seven buttons (commands
// 2000-2006 at items 0, 2, ..., 12, separators between) whose buttons the
// panel offers or withholds, and the rebar that holds it. A withheld button
// takes no click: its mouse messages go only to the toolbar's tooltip (as
// mouse moves), so its tip still shows.
#pragma once

#include <windows.h>

constexpr int kPollFirstCommand = 2000;
constexpr int kPollButtons = 7;

// The panel's state of a command: 1 offered, 0 withheld.
using PollButtonState = int (*)(int command);

// Installs the procedures; each keeps the previous one in a variable of its
// own (one tool strip per process). False for a null window.
bool InstallPollToolbarSubclass(HWND toolbar, PollButtonState state);
bool InstallPollRebarSubclass(HWND rebar);

LRESULT CALLBACK PollToolbarSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PollRebarSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
