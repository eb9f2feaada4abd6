// The local appliance's control interface (/__control/...) over its HTTPS
// port, for tests under Wine that steer it between steps: its scenario, its
// faults and the requests it recorded. The run's CA must be trusted.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <string>

namespace logintest {

struct ControlReply {
    DWORD status = 0;  // 0: no reply
    std::string body;
};

inline ControlReply ApplianceControl(uint16_t port, const wchar_t* verb, const std::string& path,
                                     const std::string& json = std::string())
{
    ControlReply out;
    HINTERNET session = WinHttpOpen(L"corvisk-test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = session ? WinHttpConnect(session, L"localhost", port, 0) : nullptr;
    const std::wstring wpath(path.begin(), path.end());
    HINTERNET request = connection ? WinHttpOpenRequest(connection, verb, wpath.c_str(), nullptr, nullptr, nullptr,
                                                        WINHTTP_FLAG_SECURE)
                                   : nullptr;
    DWORD size = sizeof(out.status);
    if (request &&
        WinHttpSendRequest(request, L"Content-Type: application/json\r\n", static_cast<DWORD>(-1),
                           const_cast<char*>(json.data()), static_cast<DWORD>(json.size()),
                           static_cast<DWORD>(json.size()), 0) &&
        WinHttpReceiveResponse(request, nullptr) &&
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &out.status,
                            &size, nullptr)) {
        char buffer[8192];
        DWORD got = 0;
        while (WinHttpReadData(request, buffer, sizeof(buffer), &got) && got > 0)
            out.body.append(buffer, got);
    }
    if (request)
        WinHttpCloseHandle(request);
    if (connection)
        WinHttpCloseHandle(connection);
    if (session)
        WinHttpCloseHandle(session);
    return out;
}

// How many of the recorded requests (a JSON list) went to target, the path
// with its query as sent.
inline int CountRequests(const std::string& recorded, const std::string& target)
{
    const std::string key = "\"target\": \"" + target + "\"";
    int n = 0;
    for (size_t at = recorded.find(key); at != std::string::npos; at = recorded.find(key, at + 1))
        ++n;
    return n;
}

} // namespace logintest
