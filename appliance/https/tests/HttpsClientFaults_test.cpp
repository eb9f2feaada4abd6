// The client over a scripted WinHTTP binding: a failed allocation inside a
// step fails that step with its text, and every handle opened is closed.
#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "appliance/https/CHttpsClient_win.h"

namespace {

enum class Step { None, Open, AddHeaders, Send, Read };

Step g_throwIn = Step::None;
int g_opened = 0, g_closed = 0, g_reads = 0;
uintptr_t g_next = 0x1000;

HINTERNET NewHandle() {
    ++g_opened;
    return reinterpret_cast<HINTERNET>(g_next += 16);
}

HINTERNET WINAPI Open(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD) {
    if (g_throwIn == Step::Open) throw std::bad_alloc();
    return NewHandle();
}
HINTERNET WINAPI Connect(HINTERNET, LPCWSTR, INTERNET_PORT, DWORD) { return NewHandle(); }
HINTERNET WINAPI OpenRequest(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD) {
    return NewHandle();
}
BOOL WINAPI SetOption(HINTERNET, DWORD, LPVOID, DWORD) { return TRUE; }
BOOL WINAPI QueryOption(HINTERNET, DWORD, LPVOID, LPDWORD) { return FALSE; }
BOOL WINAPI SendRequest(HINTERNET, LPCWSTR, DWORD, LPVOID, DWORD, DWORD, DWORD_PTR) {
    if (g_throwIn == Step::Send) throw std::bad_alloc();
    return TRUE;
}
BOOL WINAPI ReceiveResponse(HINTERNET, LPVOID) { return TRUE; }
BOOL WINAPI CloseHandle(HINTERNET) {
    ++g_closed;
    return TRUE;
}
BOOL WINAPI QueryDataAvailable(HINTERNET, LPDWORD available) {
    *available = g_reads == 0 ? 5 : 0;
    return TRUE;
}
BOOL WINAPI ReadData(HINTERNET, LPVOID buffer, DWORD size, LPDWORD read) {
    if (g_throwIn == Step::Read) throw std::bad_alloc();
    ++g_reads;
    memcpy(buffer, "hello", size < 5 ? size : 5);
    *read = size < 5 ? size : 5;
    return TRUE;
}
BOOL WINAPI QueryHeaders(HINTERNET, DWORD, LPCWSTR, LPVOID, LPDWORD, LPDWORD) { return FALSE; }
BOOL WINAPI SetTimeouts(HINTERNET, int, int, int, int) { return TRUE; }
BOOL WINAPI AddRequestHeaders(HINTERNET, LPCWSTR, DWORD, DWORD) {
    if (g_throwIn == Step::AddHeaders) throw std::bad_alloc();
    return TRUE;
}
BOOL WINAPI GetIEProxyConfig(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG*) { return FALSE; }
BOOL WINAPI GetProxyForUrl(HINTERNET, LPCWSTR, WINHTTP_AUTOPROXY_OPTIONS*, WINHTTP_PROXY_INFO*) {
    return FALSE;
}
WINHTTP_STATUS_CALLBACK WINAPI SetStatusCallback(HINTERNET, WINHTTP_STATUS_CALLBACK, DWORD, DWORD_PTR) {
    return nullptr;
}

const WinHttpApi kScripted = {Open,       Connect,          OpenRequest,     SetOption,
                              QueryOption, SendRequest,     ReceiveResponse, CloseHandle,
                              QueryDataAvailable, ReadData, QueryHeaders,    SetTimeouts,
                              AddRequestHeaders,  GetIEProxyConfig, GetProxyForUrl,
                              SetStatusCallback};

}  // namespace

TEST(HttpsClientFaults, AFailedAllocationFailsItsStepAndLeaksNoHandle) {
    const struct { Step step; const char* text; } cases[] = {
        {Step::None, ""},
        {Step::Open, "Memory Exception occured"},
        {Step::AddHeaders, "Memory Exception occured"},
        {Step::Send, "Memory Exception occured"},
        {Step::Read, "Out of memory"},
    };
    for (const auto& c : cases) {
        g_throwIn = c.step;
        g_opened = g_closed = g_reads = 0;
        {
            CHttpsClient client(&kScripted);
            client.SetServer("appliance");
            const bool opened = client.OpenRequest("POST") == 1;
            const bool added = opened && client.AddHeaders("X-A: 1\r\n") == 1;
            const bool sent = added && client.Send(nullptr, "a=1") == 1;
            std::string body = "stale";
            const bool read = sent && client.ReadResponse(body, 100);
            EXPECT_EQ(opened, c.step != Step::Open) << c.text;
            EXPECT_EQ(added, opened && c.step != Step::AddHeaders) << c.text;
            EXPECT_EQ(sent, added && c.step != Step::Send) << c.text;
            EXPECT_EQ(read, c.step == Step::None) << c.text;
            if (sent) {
                EXPECT_EQ(body, read ? "hello" : "") << c.text;
            }
            EXPECT_EQ(client.ErrorText(), c.text);
        }
        EXPECT_EQ(g_closed, g_opened) << c.text;
    }
    g_throwIn = Step::None;
}
