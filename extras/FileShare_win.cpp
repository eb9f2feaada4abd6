#include "extras/FileShare.h"

#include "core/base/AppWindows.h"
#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/base/TextConvert.h"
#include "extras/FileShareDisk_win.h"
#include "extras/FileShareName.h"
#include "extras/FileShareResources.h"

#include <winsock2.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cwchar>
#include <vector>

// A text of file sharing's table, loaded once per id.
const wchar_t* FileShareText(UINT id)
{
    static ResStringSlot slots[IDS_FS_SETTINGS_TITLE - IDS_FS_TITLE + 1];
    if (id < IDS_FS_TITLE || id > IDS_FS_SETTINGS_TITLE)
        return L"";
    return LoadResString(slots[id - IDS_FS_TITLE], id);
}

namespace {

// The hook handle of each thread that has one installed.
thread_local HHOOK t_dialogHook = nullptr;

constexpr unsigned kThreadJoinMs = 3000;
constexpr size_t kPacketHeader = 4;
constexpr uint8_t kFileSharePacket = 29;
// Free space asked beyond the file's size before a download.
constexpr uint64_t kSpareBytes = 31457280;

std::wstring Wide(const std::string& utf8)
{
    return AnsiToWide(utf8, kCodePageUtf8);
}

std::string Utf8(const std::wstring& wide)
{
    return WideToAnsi(wide, kCodePageUtf8);
}

// One text of the table with its first %s replaced by a, the second by b.
std::wstring Format(UINT id, const std::wstring& a, const std::wstring& b = {})
{
    const wchar_t* format = FileShareText(id);
    std::wstring out;
    int filled = 0;
    for (const wchar_t* p = format; *p; ++p) {
        if (p[0] == L'%' && p[1] == L's') {
            out += filled++ == 0 ? a : b;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

// The channel's bytes, read as they come (several packets per read when
// they are there); false on a close, an error or the stop.
class ChannelReader {
public:
    ChannelReader(SOCKET s, const std::atomic<bool>& stop) : m_socket(s), m_stop(stop), m_buffer(1 << 17) {}

    bool Read(uint8_t* out, size_t n)
    {
        while (m_end - m_at < n) {
            if (m_at > 0) {
                std::copy(m_buffer.begin() + m_at, m_buffer.begin() + m_end, m_buffer.begin());
                m_end -= m_at;
                m_at = 0;
            }
            if (!Fill())
                return false;
        }
        std::copy(m_buffer.begin() + m_at, m_buffer.begin() + m_at + n, out);
        m_at += n;
        return true;
    }

private:
    bool Fill()
    {
        for (;;) {
            if (m_stop.load())
                return false;
            fd_set r;
            FD_ZERO(&r);
            FD_SET(m_socket, &r);
            timeval tv{0, 200 * 1000};
            int ready = select(0, &r, nullptr, nullptr, &tv);
            if (ready == 0)
                continue;
            if (ready < 0)
                return false;
            int k = recv(m_socket, reinterpret_cast<char*>(m_buffer.data() + m_end),
                         static_cast<int>(m_buffer.size() - m_end), 0);
            if (k < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
                continue;
            if (k <= 0)
                return false;
            m_end += static_cast<size_t>(k);
            return true;
        }
    }

    SOCKET m_socket;
    const std::atomic<bool>& m_stop;
    std::vector<uint8_t> m_buffer;
    size_t m_at = 0;
    size_t m_end = 0;
};

} // namespace

FileShare::FileShare(std::unique_ptr<FileShareContext> context)
    : m_context(std::move(context)), m_disk(std::make_unique<FileShareDisk>())
{
    fileshare::Link& link = *this;
    fileshare::Clock& clock = *this;
    fileshare::HostEvents& hostEvents = *this;
    fileshare::ParticipantEvents& participantEvents = *this;
    m_host = std::make_unique<fileshare::FileShareHost>(link, *m_disk, hostEvents);
    m_receiver = std::make_unique<fileshare::FileShareReceiver>(link, *m_disk, clock, participantEvents);
}

FileShare::~FileShare()
{
    Close();
}

// --- threads ----------------------------------------------------------------

void FileShare::StartRecvThread()
{
    if (!m_context)
        return;
    const std::uintptr_t channel = m_context->Channel();
    if (static_cast<SOCKET>(channel) == INVALID_SOCKET || m_recvThread.Started())
        return;
    m_stop = false;
    m_recvThread.Start([this, channel] { RecvLoop(channel); });
}

void FileShare::StartSendThread()
{
    if (m_sendThread.Started())
        return;
    m_stop = false;
    m_sendThread.Start([this] { SendLoop(); });
}

// Packets of the file-share channel: a 4-byte header, then the payload;
// type 29 goes to the engine, anything else is read past.
void FileShare::RecvLoop(std::uintptr_t channel)
{
    const SOCKET s = static_cast<SOCKET>(channel);
    ChannelReader reader(s, m_stop);
    std::vector<uint8_t> payload(0xFFFF + 1);
    uint8_t head[kPacketHeader];
    while (reader.Read(head, kPacketHeader)) {
        const size_t length = static_cast<size_t>(head[2]) << 8 | head[3];
        if (!reader.Read(payload.data(), length))
            break;
        if (head[0] == kFileSharePacket && length > 0)
            OnMessage(payload.data(), length);
    }
}

void FileShare::SendLoop()
{
    std::unique_lock<std::mutex> l(m_stopLock);
    while (!m_stop.load()) {
        m_stopSignal.wait_for(l, std::chrono::milliseconds(fileshare::FileShareHost::kRoundMs),
                              [this] { return m_stop.load(); });
        if (m_stop.load())
            break;
        l.unlock();
        m_host->Round();
        l.lock();
    }
}

void FileShare::Close()
{
    {
        std::lock_guard<std::mutex> l(m_stopLock);
        m_stop = true;
    }
    m_stopSignal.notify_all();
    if (!m_recvThread.Join(kThreadJoinMs))
        DHLog::Instance().Print(DHLOG_CAT_MEETING, DHLOG_WARN, false, "File share: the receive thread was left to end.\n");
    if (!m_sendThread.Join(kThreadJoinMs))
        DHLog::Instance().Print(DHLOG_CAT_MEETING, DHLOG_WARN, false, "File share: the send thread was left to end.\n");
    EndFileDialogs();
    for (std::atomic<HWND>* dlg : {&m_hostDlg, &m_participantDlg}) {
        HWND h = dlg->exchange(nullptr);
        if (h && IsWindow(h))
            DestroyWindow(h);
    }
    m_settingsPanel = m_usersPanel = nullptr;
    // The meeting is over: its offers and downloads go with it (a partial
    // download is removed, a finished one stays).
    m_host->StopSharing(false);
    m_receiver->DropAll();
    m_hostTransfers = false;
}

// A file dialog open on one of the dialog threads is cancelled, so the
// thread ends with it.
void FileShare::EndFileDialogs()
{
    for (auto* thread : {&m_selectThread, &m_saveThread}) {
        const DWORD id = (thread == &m_selectThread ? m_selectThreadId : m_saveThreadId).load();
        for (int tries = 0; tries < 50 && thread->Running(); ++tries) {
            if (id)
                EnumThreadWindows(
                    id,
                    [](HWND hwnd, LPARAM) -> BOOL {
                        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
                        return TRUE;
                    },
                    0);
            Sleep(20);
        }
        thread->Join(kThreadJoinMs);
    }
}

void FileShare::OnMessage(const uint8_t* payload, size_t length)
{
    const std::string own = OwnSession();
    if (!fileshare::Dispatch(payload, length, own, m_role == 1 ? m_host.get() : nullptr,
                             m_role == 1 ? nullptr : m_receiver.get()))
        DHLog::Instance().Print(DHLOG_CAT_MEETING, DHLOG_DEBUGWARN, false,
                                "File share: a message of %u bytes was dropped.\n", static_cast<unsigned>(length));
}

// --- role and participant list ----------------------------------------------

void FileShare::SetRole(int role)
{
    const int old = m_role.exchange(role);
    if (old == role)
        return;
    if (old == 1) {
        if (HWND h = m_hostDlg.exchange(nullptr))
            DestroyWindow(h);
        m_settingsPanel = m_usersPanel = nullptr;
        m_host->StopSharing();
    } else {
        if (HWND h = m_participantDlg.exchange(nullptr))
            DestroyWindow(h);
        m_receiver->DropAll();
    }
}

void FileShare::WithdrawShares()
{
    if (m_role == 1)
        m_host->WithdrawAll();
}

void FileShare::SyncParticipants()
{
    if (m_role != 1 || !m_context)
        return;
    std::vector<std::string> present;
    for (const FileShareMember& m : m_context->Members())
        present.push_back(m.session);
    m_host->SyncParticipants(present);
}

void FileShare::SyncReceivedFiles()
{
    if (m_role == 1 || !m_context)
        return;
    for (const FileShareMember& m : m_context->Members())
        if (m.role == 1) {
            m_receiver->SyncHost(m.session);
            return;
        }
}

std::wstring FileShare::MemberName(const std::string& session)
{
    if (m_context)
        for (const FileShareMember& m : m_context->Members())
            if (m.session == session)
                return m.name;
    return Wide(session);
}

// --- engine callbacks -----------------------------------------------------------

bool FileShare::Send(const fileshare::Bytes& payload)
{
    return m_context && m_context->SendFileShare(payload.data(), payload.size());
}

std::string FileShare::OwnSession()
{
    return m_context ? m_context->OwnSession() : std::string();
}

void FileShare::Log(const std::string& line)
{
    DHLog::Instance().Print(DHLOG_CAT_MEETING, DHLOG_WARN, false, "%s\n", line.c_str());
}

uint64_t FileShare::NowMs()
{
    return GetTickCount64();
}

void FileShare::DownloadBegun(const std::string& user, const std::string& fileName)
{
    if (m_context)
        m_context->Balloon(FileShareText(IDS_FS_INFO), Format(IDS_FS_USER_BEGINS, MemberName(user), Wide(fileName)).c_str());
}

void FileShare::DownloadDone(const std::string& user, const std::string& fileName)
{
    if (m_context)
        m_context->Balloon(FileShareText(IDS_FS_INFO), Format(IDS_FS_USER_DONE, Wide(fileName), MemberName(user)).c_str());
}

void FileShare::Refresh(int fileId)
{
    if (HWND h = m_hostDlg.load())
        PostMessageW(h, WM_FILESHARE_HOST_REFRESH, 0, fileId);
}

void FileShare::TransfersActive(bool active)
{
    m_hostTransfers = active;
    if (m_context)
        m_context->SetHostTransfers(active);
}

void FileShare::FileEvent(int fileId, int kind)
{
    if (HWND h = m_participantDlg.load())
        PostMessageW(h, WM_FILESHARE_FILE_EVENT, static_cast<WPARAM>(fileId), kind);
}

void FileShare::Announced(const std::string& fileName)
{
    if (m_context)
        m_context->Balloon(FileShareText(IDS_FS_INFO), Format(IDS_FS_NEW_FILE, Wide(fileName)).c_str());
}

void FileShare::WriteFailed(const std::string& fileName)
{
    if (m_context)
        m_context->Balloon(FileShareText(IDS_FS_WARN), Format(IDS_FS_WRITE_FAILED, Wide(fileName)).c_str());
}

// --- file dialogs -------------------------------------------------------------------

FileShare::DialogHook::DialogHook() : m_previous(t_dialogHook)
{
    t_dialogHook = SetWindowsHookExW(WH_CBT, OpenFileDlgHook, nullptr, GetCurrentThreadId());
}

FileShare::DialogHook::~DialogHook()
{
    if (t_dialogHook)
        UnhookWindowsHookEx(t_dialogHook);
    t_dialogHook = m_previous;
}

LRESULT CALLBACK FileShare::OpenFileDlgHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        LONG_PTR ex = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
        if ((ex & WS_EX_LAYERED) == 0) {
            SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
            SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
            RegisterAppWindow(hwnd);
        }
    }
    return CallNextHookEx(t_dialogHook, code, wParam, lParam);
}

// The open or save dialog on this thread, hooked; path in: the name
// proposed, out: the one chosen. The thread's id is kept meanwhile, so Close
// can cancel the dialog.
bool FileShare::RunFileDialog(HWND owner, std::atomic<DWORD>& threadId, bool save, std::wstring& path)
{
    threadId = GetCurrentThreadId();
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    std::wstring filter = FileShareText(IDS_FS_ALL_FILTER);
    filter += L'\0';
    filter += L"*.*";
    filter += L'\0';
    wchar_t buffer[MAX_PATH] = L"";
    wcsncpy(buffer, path.c_str(), MAX_PATH - 1);
    OPENFILENAMEW request{};
    request.lStructSize = sizeof(request);
    request.hwndOwner = owner;
    request.lpstrFilter = filter.c_str();
    request.lpstrFile = buffer;
    request.nMaxFile = MAX_PATH;
    // The dialogs never move the process's working directory.
    request.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                    (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    BOOL chosen;
    {
        DialogHook hook;
        chosen = save ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request);
    }
    threadId = 0;
    path = buffer;
    return chosen != FALSE;
}

void FileShare::SelectFileThread(HWND owner)
{
    std::wstring path;
    const bool chosen = RunFileDialog(owner, m_selectThreadId, false, path);
    if (!chosen || m_stop.load())
        return;
    // Refusals are told here, so the dialog's thread never waits on them.
    int id = 0;
    UINT refusal = 0;
    switch (m_host->AddFile(Utf8(path), id)) {
    case fileshare::FileShareHost::AddResult::Added:
        PostMessageW(owner, WM_FILESHARE_FILE_CHOSEN, static_cast<WPARAM>(id), 0);
        return;
    case fileshare::FileShareHost::AddResult::AlreadyShared: refusal = IDS_FS_ALREADY_SHARED; break;
    case fileshare::FileShareHost::AddResult::TooLarge: refusal = IDS_FS_TOO_LARGE; break;
    case fileshare::FileShareHost::AddResult::Unreadable: refusal = IDS_FS_UNREADABLE; break;
    }
    MessageBoxW(owner, FileShareText(refusal), FileShareText(IDS_FS_WARN), MB_OK | MB_ICONWARNING);
}

void FileShare::SaveFileThread(HWND owner, int id)
{
    const std::wstring info = FileShareText(IDS_FS_INFO);
    auto offered = [&] {
        for (const fileshare::ReceivedView& f : m_receiver->Files())
            if (f.id == id)
                return true;
        return false;
    };
    std::wstring name;
    uint64_t size = 0;
    for (const fileshare::ReceivedView& f : m_receiver->Files())
        if (f.id == id) {
            name = Wide(f.name);
            size = f.size;
        }
    if (name.empty()) {
        MessageBoxW(owner, FileShareText(IDS_FS_NOT_SHARED), info.c_str(), MB_OK | MB_ICONINFORMATION);
        return;
    }
    std::wstring path = name;
    const bool chosen = RunFileDialog(owner, m_saveThreadId, true, path);
    m_saving.store(false);
    if (!chosen || m_stop.load())
        return;
    if (!offered()) {
        MessageBoxW(owner, FileShareText(IDS_FS_NOT_SHARED), info.c_str(), MB_OK | MB_ICONINFORMATION);
        return;
    }
    // The folder of the chosen path: a warning only when it looks too small.
    std::wstring folder(path);
    folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
    ULARGE_INTEGER free{};
    if (!folder.empty() && GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr) &&
        free.QuadPart < size + kSpareBytes)
        MessageBoxW(owner, FileShareText(IDS_FS_DISK_SPACE), FileShareText(IDS_FS_WARN), MB_OK | MB_ICONWARNING);
    m_receiver->StartDownload(id, Utf8(path));
}
