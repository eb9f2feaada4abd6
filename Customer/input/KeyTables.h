#pragma once
// The host's key-injection tables (keysym to virtual key, keysym to extended
// flag, the layout's dead keys). Built once by static initialisation before
// WinMain; released at process exit.
void BuildDeadKeyTable();
