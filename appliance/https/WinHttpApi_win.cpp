#include "appliance/https/WinHttpApi_win.h"

#include <mutex>
#include <string>

namespace {

template <typename F>
bool Bind(HMODULE module, const char* name, F& fn) {
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return fn != nullptr;
}

HMODULE LoadFromSystem(const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    std::wstring path(dir, n);
    path += L'\\';
    path += name;
    return LoadLibraryW(path.c_str());
}

}  // namespace

bool BindWinHttp(const wchar_t* const* names, size_t count, WinHttpApi& api) {
    for (size_t i = 0; i < count; ++i) {
        HMODULE m = LoadFromSystem(names[i]);
        if (!m) continue;
        WinHttpApi a{};
        if (Bind(m, "WinHttpOpen", a.Open) && Bind(m, "WinHttpConnect", a.Connect) &&
            Bind(m, "WinHttpOpenRequest", a.OpenRequest) && Bind(m, "WinHttpSetOption", a.SetOption) &&
            Bind(m, "WinHttpQueryOption", a.QueryOption) &&
            Bind(m, "WinHttpSendRequest", a.SendRequest) &&
            Bind(m, "WinHttpReceiveResponse", a.ReceiveResponse) &&
            Bind(m, "WinHttpCloseHandle", a.CloseHandle) &&
            Bind(m, "WinHttpQueryDataAvailable", a.QueryDataAvailable) &&
            Bind(m, "WinHttpReadData", a.ReadData) && Bind(m, "WinHttpQueryHeaders", a.QueryHeaders) &&
            Bind(m, "WinHttpSetTimeouts", a.SetTimeouts) &&
            Bind(m, "WinHttpAddRequestHeaders", a.AddRequestHeaders) &&
            Bind(m, "WinHttpGetIEProxyConfigForCurrentUser", a.GetIEProxyConfigForCurrentUser) &&
            Bind(m, "WinHttpGetProxyForUrl", a.GetProxyForUrl) &&
            Bind(m, "WinHttpSetStatusCallback", a.SetStatusCallback)) {
            api = a;
            return true;  // stays loaded for the rest of the process
        }
        FreeLibrary(m);
    }
    return false;
}

const WinHttpApi* WinHttp() {
    static WinHttpApi api{};
    static bool bound = false;
    static std::once_flag once;
    std::call_once(once, [] {
        static const wchar_t* const kNames[] = {L"winhttp.dll", L"winhttp5.dll"};
        bound = BindWinHttp(kNames, 2, api);
    });
    return bound ? &api : nullptr;
}

void WinHttpHandle::Reset(HINTERNET h) {
    if (m_h) {
        if (const WinHttpApi* api = m_api ? m_api : WinHttp()) api->CloseHandle(m_h);
    }
    m_h = h;
}
