#include "core/base/SessionUserName.h"

#include "core/base/WinHandle.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwchar>
#include <vector>

namespace {

constexpr DWORD kNameChars = 260;

std::vector<ProcessEntry> ProcessSnapshot()
{
    std::vector<ProcessEntry> list;
    WinHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snap)
        return list;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snap.get(), &entry); ok; ok = Process32NextW(snap.get(), &entry)) {
        ProcessEntry p;
        p.pid = entry.th32ProcessID;
        p.exeName.assign(entry.szExeFile, wcsnlen(entry.szExeFile, MAX_PATH));
        DWORD session = 0;
        p.sessionKnown = ProcessIdToSessionId(entry.th32ProcessID, &session) != 0;
        p.session = session;
        list.push_back(std::move(p));
    }
    return list;
}

int TokenUserName(HANDLE token, std::wstring& name)
{
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER))
        return 0;
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return 0;
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    wchar_t account[kNameChars];
    wchar_t domain[kNameChars];
    DWORD accountLen = kNameChars;
    DWORD domainLen = kNameChars;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, account, &accountLen, domain, &domainLen, &use))
        return 0;
    name.assign(account, wcsnlen(account, kNameChars));
    return 1;
}

} // namespace

uint32_t SessionShellProcessId()
{
    DWORD ownSession = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &ownSession))
        return 0;
    return FindSessionShell(ProcessSnapshot(), ownSession);
}

uint32_t FindConsoleSessionExplorer()
{
    DWORD session = WTSGetActiveConsoleSessionId();
    if (GetSystemMetrics(SM_REMOTESESSION) && !ProcessIdToSessionId(GetCurrentProcessId(), &session))
        return 0;
    if (session == 0xFFFFFFFF)
        return 0;
    return FindSessionShell(ProcessSnapshot(), session);
}

int GetShellUserName(std::wstring& name)
{
    DWORD pid = SessionShellProcessId();
    if (pid == 0)
        return 0;
    WinHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process)
        return 0;
    HANDLE token = nullptr;
    if (!OpenProcessToken(process.get(), TOKEN_QUERY, &token))
        return 0;
    WinHandle ownedToken(token);
    return TokenUserName(ownedToken.get(), name);
}

int GetSessionUserName(std::wstring& name)
{
    if (GetShellUserName(name))
        return 1;
    std::vector<wchar_t> buffer(kNameChars);
    DWORD len = kNameChars;
    if (!GetUserNameW(buffer.data(), &len)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || len <= kNameChars)
            return 0;
        buffer.resize(len);
        if (!GetUserNameW(buffer.data(), &len))
            return 0;
    }
    name.assign(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
    return 1;
}
