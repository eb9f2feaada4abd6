#pragma once
// WinHTTP, bound by name at run time so that the program starts without it;
// every request then fails with "Cannot load Winhttp lib". One process-wide
// binding of all functions, made once and never unloaded, so no request can
// see a half-bound table or a library that another thread is unloading.
#include <windows.h>
#include <winhttp.h>

struct WinHttpApi {
    decltype(&::WinHttpOpen) Open;
    decltype(&::WinHttpConnect) Connect;
    decltype(&::WinHttpOpenRequest) OpenRequest;
    decltype(&::WinHttpSetOption) SetOption;
    decltype(&::WinHttpQueryOption) QueryOption;
    decltype(&::WinHttpSendRequest) SendRequest;
    decltype(&::WinHttpReceiveResponse) ReceiveResponse;
    decltype(&::WinHttpCloseHandle) CloseHandle;
    decltype(&::WinHttpQueryDataAvailable) QueryDataAvailable;
    decltype(&::WinHttpReadData) ReadData;
    decltype(&::WinHttpQueryHeaders) QueryHeaders;
    decltype(&::WinHttpSetTimeouts) SetTimeouts;
    decltype(&::WinHttpAddRequestHeaders) AddRequestHeaders;
    decltype(&::WinHttpGetIEProxyConfigForCurrentUser) GetIEProxyConfigForCurrentUser;
    decltype(&::WinHttpGetProxyForUrl) GetProxyForUrl;
    decltype(&::WinHttpSetStatusCallback) SetStatusCallback;
};

// The process-wide binding ("winhttp.dll", else "winhttp5.dll", from the
// system folder); null when neither loads or one function is missing.
const WinHttpApi* WinHttp();

// Binds from the first of the given library names (in the system folder) that
// loads and has every function; that library then stays loaded. Used by
// WinHttp() and by tests that need a missing library.
bool BindWinHttp(const wchar_t* const* names, size_t count, WinHttpApi& api);

// Owner of one HINTERNET, closed through the binding that opened it (the
// process-wide one when none is given).
class WinHttpHandle {
public:
    explicit WinHttpHandle(const WinHttpApi* api = nullptr) : m_api(api) {}
    ~WinHttpHandle() { Reset(); }
    WinHttpHandle(const WinHttpHandle&) = delete;
    WinHttpHandle& operator=(const WinHttpHandle&) = delete;

    HINTERNET get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Reset(HINTERNET h = nullptr);

private:
    const WinHttpApi* m_api;
    HINTERNET m_h = nullptr;
};
