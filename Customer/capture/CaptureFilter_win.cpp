#include "Customer/capture/CaptureFilter.h"

// The exclusion list belongs to the magnifier capture of the sharing host.
// Until that capture is built it never runs, so there is nothing to refresh.
void RefreshCaptureFilter(HWND) {}
