#pragma once
// The Windows version class the program steers by:
// 1 9x/NT4 or an unknown 5.x, 2 = 5.0, 3 = 5.1, 4 = 5.2, 5 = 6.0,
// 6 = 6.1 workstation, 7 = 6.2 workstation, 8 = 6.1/6.2 server,
// 9 = 6.3 and later (Windows 10 and 11 included).
constexpr unsigned kPlatformWin32Nt = 2;

int ClassifyOsVersion(unsigned platformId, unsigned major, unsigned minor, bool workstation);

// 1 when the class is 7 or 9 and no accelerometer was found.
int Win8OrLaterWithoutSensors(int versionClass, int comProbeOk);
