#pragma once
// The local-input watch that lets the host take control back while a remote
// participant holds it: Ctrl+Alt+B, or more than 4 real local key presses or
// clicks within about 1.25 s, post WM_COMMAND 0x800A to the owner window.
#include <windows.h>

constexpr WPARAM kTakeBackControlCommand = 0x800A;
constexpr UINT_PTR kInputWatchTimerId = 9876;

void InstallLocalInputHooks(HWND owner);
// Harmless when nothing is installed.
void RemoveLocalInputHooks();
