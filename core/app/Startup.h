#pragma once
// Process-wide start-up probes: DPI scale, the sensor probe and the Windows
// version class.
extern float g_dpiScaleX;
extern float g_dpiScaleY;

// SetProcessDPIAware when the system has it, then the screen's scale factors.
void EnableDpiAwareness();
// Asks the sensor manager for accelerometers (1D, 2D, 3D); sets and returns
// g_comProbeOk. Where the Sensor API is missing (Wine) the flag stays 0.
int ProbeComFeature();
// The class of OsVersionClass.h for the running system.
int GetOsVersionClass();
// 1 when the class is 7 or 9 and g_comProbeOk is 0; the class is taken once.
int IsWin8OrLaterNoComFeature();
