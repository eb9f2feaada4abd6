#pragma once
// The local-input watch that lets the host take control back while a remote
// participant holds it: Ctrl+Alt+B, the sixth real key press of a run or real
// mouse activity in six quarter-second ticks in a row post WM_COMMAND 0x800A
// to the owner window (LocalInputWatch.h counts). One watch per process; the
// hooks and the timer run on the installing thread, which must pump messages.
#include <windows.h>

constexpr WPARAM kTakeBackControlCommand = 0x800A;
constexpr UINT_PTR kInputWatchTimerId = 9876;

// Replaces a watch already installed; 0 (nothing installed) for a null owner.
int InstallLocalInputHooks(HWND owner);
// Installs the mouse hook unless it exists; 1 when it is installed.
int InstallLocalMouseHook();
// Harmless when nothing is installed; returns 1.
int RemoveLocalInputHooks();
