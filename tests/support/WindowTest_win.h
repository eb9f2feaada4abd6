// Window-test support for tests under Wine on the private X display: finding
// windows and controls, reading and setting their text, clicking and typing,
// bounded waits that keep the thread's messages flowing, and PNG screenshots.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace wintest {

// A visible top-level window of this process with the given class (null: any)
// and title (null: any); null when none.
HWND FindTopLevel(const wchar_t* className, const wchar_t* title);
// The same among the windows of another process (a program the test started).
HWND FindTopLevelOf(DWORD process, const wchar_t* className, const wchar_t* title);
// The first descendant of parent with the control id; null when none.
HWND FindControl(HWND parent, int id);
// The child dialog of parent made from template dialogId: the one whose
// controls include the given control id (a page is known by its controls).
HWND FindChildWithControl(HWND parent, int controlId);

std::wstring Text(HWND hwnd);
std::wstring ControlText(HWND parent, int id);
void SetControlText(HWND parent, int id, const std::wstring& text);
// BM_CLICK on a button, as a user's click arrives: sent, the dialog's
// WM_COMMAND handled before this returns.
void Click(HWND parent, int id);
// Key-down and key-up of a virtual key posted to the window (no pointer
// crosses a process); pump afterwards so they are handled.
void PostKey(HWND hwnd, UINT vk);

// Handles every message queued for this thread; thread messages (no window)
// go to the sink when one is set.
void Pump();
void SetThreadMessageSink(std::function<void(const MSG&)> sink);
// Pumps until the condition holds or timeoutMs passed; true when it held.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 10000);
// Pumps for the given time.
void PumpFor(DWORD ms);

// The window's rectangle on the screen, as the X server shows it, saved as
// screenshots/<test>/<state>.png under the working directory (the test's build
// folder). Returns the path, or empty when it could not be written.
std::wstring SaveScreenshot(HWND hwnd, const std::wstring& test, const std::wstring& state);
// The same picture as the window prints itself (PrintWindow): for layered
// windows, which Wine on Xvfb without a compositor reads back as black.
std::wstring SavePrintedWindow(HWND hwnd, const std::wstring& test, const std::wstring& state);
// The colour of one screen pixel at client coordinates of hwnd (after Pump).
COLORREF ClientPixel(HWND hwnd, int x, int y);
// Live GDI objects of this process (for leak checks).
unsigned GdiObjectCount();

} // namespace wintest
