#include "Customer/capture/MagnifierCapture.h"

namespace MagnifierCapture {

int g_enabled = 0;
int g_captureStep = 0;

// The capture itself belongs to the sharing host; until it is built, capture
// stays with the host's own screen reading (as where the API is absent).
void Init() {}

} // namespace MagnifierCapture
