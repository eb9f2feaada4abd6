#pragma once
// Desktop capture through the Magnification API, which leaves the program's
// own windows out of the picture.
namespace MagnifierCapture {

// Set by the manager's construction: the switch (IsWin8OrLaterNoComFeature)
// and the capture step.
extern int g_enabled;
extern int g_captureStep;

// Starts the capture when the Magnification API is available (message 60112
// on the host); nothing the caller reads.
void Init();

} // namespace MagnifierCapture
