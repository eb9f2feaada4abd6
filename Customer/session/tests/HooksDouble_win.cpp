// Test double of the hooks library, copied as "customerhooks.dll" beside the
// session's test programs: it records what it is given and sets nothing.
// CORVISK_HOOKS_REFUSE=1 makes SetHooks refuse; UnSetHooks leaves the atom
// "corvisk hooks unset" behind so a test can see it after the unload.
#include <windows.h>

namespace {
DWORD g_thread = 0;
UINT g_messages[3] = {};
int g_ddi = -1;
} // namespace

extern "C" {

__declspec(dllexport) BOOL WINAPI SetHooks(DWORD thread, UINT draw, UINT copy, UINT mouse, int ddi)
{
    g_thread = thread;
    g_messages[0] = draw;
    g_messages[1] = copy;
    g_messages[2] = mouse;
    g_ddi = ddi;
    char refuse[4] = {};
    return !(GetEnvironmentVariableA("CORVISK_HOOKS_REFUSE", refuse, sizeof refuse) && refuse[0] == '1');
}

__declspec(dllexport) BOOL WINAPI UnSetHooks(DWORD)
{
    GlobalAddAtomW(L"corvisk hooks unset");
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI SetKeyboardFilterHook(BOOL)
{
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI SetMouseFilterHook(BOOL)
{
    return TRUE;
}

// For the tests: what SetHooks was given.
__declspec(dllexport) void WINAPI HooksDoubleRecord(DWORD* thread, UINT* messages, int* ddi)
{
    *thread = g_thread;
    for (int i = 0; i < 3; ++i)
        messages[i] = g_messages[i];
    *ddi = g_ddi;
}
}
