#include "core/base/OsVersionClass.h"

int ClassifyOsVersion(unsigned platformId, unsigned major, unsigned minor, bool workstation)
{
    if (platformId != kPlatformWin32Nt || major <= 4)
        return 1;
    if (major == 5) {
        switch (minor) {
        case 0: return 2;
        case 1: return 3;
        case 2: return 4;
        default: return 1;
        }
    }
    if (major == 6) {
        if (minor == 0)
            return 5;
        if (minor == 1 || minor == 2) {
            if (!workstation)
                return 8;
            return minor == 1 ? 6 : 7;
        }
    }
    return 9;
}

int Win8OrLaterWithoutSensors(int versionClass, int comProbeOk)
{
    return (versionClass == 7 || versionClass == 9) && comProbeOk == 0 ? 1 : 0;
}
