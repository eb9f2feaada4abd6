#pragma once
// The desktop helpers of the sharing host's threads, beside
// SelectInputDesktop: attach the calling thread to a given desktop, to a
// named one or to the input desktop, and tell whether it is on the input
// desktop.
#include <windows.h>

// Attaches the calling thread to desktop, which it takes over (closed when
// the thread moves on or ends, or at once on failure). 1 on success.
int SelectHDESK(HDESK desktop);
// The named desktop, or the input desktop when name is null. 1 on success.
int SelectDesktop(const char* name);

using OpenInputDesktopCall = HDESK(WINAPI*)(DWORD flags, BOOL inherit, ACCESS_MASK access);
// 1 when the calling thread's desktop is the input desktop, also when the
// input desktop is busy (ERROR_BUSY: it is being switched); 0 otherwise.
// openError (optional) gets the error of a failed open, 0 when it opened.
int InputDesktopSelected(OpenInputDesktopCall open = OpenInputDesktop, DWORD* openError = nullptr);
