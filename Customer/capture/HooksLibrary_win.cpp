#include "Customer/capture/HooksLibrary_win.h"

#include "Customer/encode/HostLog.h"
#include "core/base/UpdateMessages.h"

#include <string>

namespace {

template <class Fn>
Fn Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

HooksLibrary::HooksLibrary()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    std::wstring file(path, n);
    const size_t slash = file.find_last_of(L"\\/");
    file = (slash == std::wstring::npos ? std::wstring() : file.substr(0, slash)) + L"\\customerhooks.dll";
    m_module = LoadLibraryW(file.c_str());
    if (!m_module) {
        HostLog(kHostLogDebugInfo, "no hooks library: polling only\n");
        return;
    }
    m_unset = Lookup<UnSetHooksFn>(m_module, "UnSetHooks");
    m_mouseFilter = Lookup<FilterFn>(m_module, "SetMouseFilterHook");
    m_keyboardFilter = Lookup<FilterFn>(m_module, "SetKeyboardFilterHook");
    m_set = Lookup<SetHooksFn>(m_module, "SetHooks");
}

HooksLibrary::~HooksLibrary()
{
    if (m_module)
        FreeLibrary(m_module);
}

bool HooksLibrary::Set(DWORD threadId)
{
    if (!m_set)
        return false;
    if (!g_msgUpdateDrawRect)
        RegisterUpdateMessages();
    m_active = m_set(threadId, g_msgUpdateDrawRect, g_msgUpdateCopyRect, g_msgUpdateMouse, 0) != FALSE;
    HostLog(m_active ? kHostLogDebugInfo : kHostLogError, m_active ? "set hooks OK\n" : "failed to set system hooks\n");
    return m_active;
}

void HooksLibrary::Unset(DWORD threadId)
{
    if (!m_active || !m_unset)
        return;
    HostLog(kHostLogDebugInfo, m_unset(threadId) ? "Unsethooks OK\n" : "Unsethooks Failed\n");
    m_active = false;
}
