#pragma once
// The change reports of the sharing host's hooks library, registered once
// before WinMain and the same for the whole run.
#include <windows.h>

extern UINT g_msgUpdateDrawRect;
extern UINT g_msgUpdateCopyRect;
extern UINT g_msgUpdateMouse;

void RegisterUpdateMessages();
