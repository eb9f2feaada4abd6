#pragma once
// Desktop capture through the Magnification API, which leaves the program's
// own windows out of the picture. The library is loaded from the system
// folder on first use; where it is missing (before Windows 8, under Wine)
// the capture never runs and the desktop reads the screen itself.
#include "rfb/Rect.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace MagnifierCapture {

// The host dialog's template in the program's resources (IDD_MAGNIFIER_HOST).
constexpr int kHostDialogId = 5100;

// Set by the manager's construction: the switch (IsWin8OrLaterNoComFeature)
// and the refresh interval in milliseconds.
extern int g_enabled;
extern int g_captureStep;

// Starts the capture on the calling thread (the main thread: its timer and
// the magnifier's callback run there). Does nothing when disabled, already
// running, or when the library, MagInitialize or the host window fails.
void Init();
// Stops the capture and frees its state; a grab running on another thread
// finishes first. Safe when not running.
void Close();
// True from a successful Init to Close.
bool Running();
// Copies from the last frame into dest at (x, y): 0 when not running or no
// frame has arrived yet, else BitBlt's result.
int CopyTo(HDC dest, int x, int y, int width, int height, int srcX, int srcY);
// The same into 32-bit top-down memory (rows stride bytes apart), r in frame
// coordinates (the primary screen's); false unless r lies wholly inside the
// frame.
bool CopyToBits(const rfb::Rect& r, uint8_t* dest, size_t stride, const rfb::Point& destOrigin);
// Calls of CopyTo and CopyToBits so far (the desktop asks only while running).
unsigned CopyCalls();

} // namespace MagnifierCapture
