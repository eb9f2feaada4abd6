#include "core/base/ProcessList.h"

#include "core/base/SessionUserName.h"
#include "core/base/TextConvert.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kMaxProcessIds = 1u << 20;

std::vector<DWORD> ProcessIds()
{
    std::vector<DWORD> ids(256);
    for (;;) {
        DWORD bytes = 0;
        DWORD size = static_cast<DWORD>(ids.size() * sizeof(DWORD));
        if (!EnumProcesses(ids.data(), size, &bytes))
            return {};
        if (bytes < size || ids.size() >= kMaxProcessIds) {
            ids.resize(bytes / sizeof(DWORD));
            return ids;
        }
        ids.resize(ids.size() * 2);  // the list may have been cut: retry bigger
    }
}

std::string ImagePath(DWORD pid)
{
    WinHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process)
        return std::string();
    char path[MAX_PATH];
    DWORD len = MAX_PATH;
    if (!QueryFullProcessImageNameA(process.get(), 0, path, &len))
        return std::string();
    return std::string(path, len);
}

// Names from a Toolhelp snapshot, for processes this one may not open.
class SnapshotNames {
public:
    std::string Find(DWORD pid)
    {
        if (!m_taken)
            Take();
        for (const auto& e : m_entries)
            if (e.first == pid)
                return e.second;
        return std::string();
    }

private:
    void Take()
    {
        m_taken = true;
        WinHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snap)
            return;
        PROCESSENTRY32W entry;
        entry.dwSize = sizeof entry;
        for (BOOL ok = Process32FirstW(snap.get(), &entry); ok;
             ok = Process32NextW(snap.get(), &entry)) {
            int len = static_cast<int>(wcsnlen(entry.szExeFile, MAX_PATH));
            m_entries.emplace_back(entry.th32ProcessID,
                                   WideToMultiByteString(entry.szExeFile, len, kCodePageAnsi));
        }
    }

    bool m_taken = false;
    std::vector<std::pair<DWORD, std::string>> m_entries;
};

} // namespace

CProcessList::~CProcessList()
{
    if (m_impersonating)
        RevertImpersonation();
}

int CProcessList::Enumerate(const Visitor& visit)
{
    std::vector<DWORD> ids = ProcessIds();
    if (ids.empty())
        return 0;
    SnapshotNames fallback;
    for (DWORD pid : ids) {
        std::string path = ImagePath(pid);
        if (path.empty())
            path = fallback.Find(pid);
        if (!visit(pid, 0, path.c_str()))
            break;
    }
    return 1;
}

bool CProcessList::ImageNameMatches(const char* path, const char* name)
{
    const char* slash = std::strrchr(path, '\\');
    const char* file = slash ? slash + 1 : path;
    return lstrcmpiA(file, name) == 0;
}

int CProcessList::FindProcess(const char* imageName)
{
    m_foundPid = 0;
    bool found = false;
    Enumerate([&](DWORD pid, WORD, const char* path) {
        if (!ImageNameMatches(path, imageName))
            return true;
        m_foundPid = pid;
        found = true;
        return false;
    });
    return found ? 1 : 0;
}

int CProcessList::ImpersonateExplorerUser()
{
    // Only this session's shell: on a terminal server the others belong to
    // other users.
    m_foundPid = SessionShellProcessId();
    if (m_foundPid == 0)
        return 0;
    WinHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, m_foundPid));
    if (!process)
        return 0;
    HANDLE token = nullptr;
    if (!OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_DUPLICATE, &token))
        return 0;
    WinHandle ownedToken(token);
    if (!ImpersonateLoggedOnUser(ownedToken.get()))
        return 0;
    m_process = std::move(process);
    m_token = std::move(ownedToken);
    m_impersonating = true;
    return 1;
}

int CProcessList::RevertImpersonation()
{
    BOOL ok = RevertToSelf();
    m_impersonating = false;
    m_token.Reset();
    m_process.Reset();
    return ok ? 1 : 0;
}
