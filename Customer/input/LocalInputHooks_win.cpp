#include "Customer/input/LocalInputHooks.h"

// The hooks belong to the sharing host's input handling, which is not built
// yet: without them no local input takes control back.
void InstallLocalInputHooks(HWND) {}

void RemoveLocalInputHooks() {}
