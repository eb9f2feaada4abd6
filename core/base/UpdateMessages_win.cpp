#include "core/base/UpdateMessages.h"

UINT g_msgUpdateDrawRect = 0;
UINT g_msgUpdateCopyRect = 0;
UINT g_msgUpdateMouse = 0;

void RegisterUpdateMessages()
{
    g_msgUpdateDrawRect = RegisterWindowMessageA("Update.DrawRect");
    g_msgUpdateCopyRect = RegisterWindowMessageA("Update.CopyRect");
    g_msgUpdateMouse = RegisterWindowMessageA("Update.Mouse");
}
