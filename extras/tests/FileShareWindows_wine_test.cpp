// File sharing's windows under Wine: a host and a participant in one process,
// each a FileShare with its own channel, joined by a relay that routes like
// the appliance (by the recipients in the text). Real files, the real file
// dialogs, the real list views; screenshots of the main states.
#include "core/base/AppWindows.h"
#include "extras/FileShare.h"
#include "extras/FileShareResources.h"
#include "extras/tests/FileShareSteps_win.h"
#include "tests/support/LoopbackSockets_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include "core/base/WinHandle.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>

using namespace wintest;
using namespace fstest;

namespace {

const std::string kHost = "HOST0001";
const std::string kGuest = "GUEST002";

// The appliance's part: type-29 packets to the sessions their text names,
// written whole on the recipient's channel by one delivery thread. Paused,
// it holds what comes.
class Relay {
public:
    Relay() : m_thread([this] { Run(); }) {}
    ~Relay()
    {
        {
            std::lock_guard<std::mutex> l(m_lock);
            m_end = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    void Join(const std::string& session, SOCKET peer)
    {
        std::lock_guard<std::mutex> l(m_lock);
        m_members.push_back({session, peer});
    }
    void Send(const std::string& from, const uint8_t* payload, size_t length)
    {
        std::vector<uint8_t> packet{29, 0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
        packet.insert(packet.end(), payload, payload + length);
        std::string text(reinterpret_cast<const char*>(payload), std::min<size_t>(length, 200));
        std::lock_guard<std::mutex> l(m_lock);
        for (const auto& m : m_members) {
            if (m.first == from)
                continue;
            const bool all = text.compare(6, 4, "9527") == 0;
            if (all || text.find("\r\n" + m.first + "\r\n") != std::string::npos)
                m_queue.push_back({m.second, packet});
        }
        m_wake.notify_all();
    }
    // A slower appliance: each packet waits this long.
    std::atomic<int> delayMs{0};

    void Pause(bool on)
    {
        {
            std::lock_guard<std::mutex> l(m_lock);
            m_paused = on;
        }
        m_wake.notify_all();
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> l(m_lock);
        for (;;) {
            m_wake.wait(l, [this] { return m_end || (!m_paused && !m_queue.empty()); });
            if (m_end)
                return;
            auto next = std::move(m_queue.front());
            m_queue.pop_front();
            l.unlock();
            if (delayMs.load())
                Sleep(static_cast<DWORD>(delayMs.load()));
            const char* at = reinterpret_cast<const char*>(next.second.data());
            size_t left = next.second.size();
            while (left > 0) {
                int n = send(next.first, at, static_cast<int>(left), 0);
                if (n <= 0)
                    break;
                at += n;
                left -= static_cast<size_t>(n);
            }
            l.lock();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<std::pair<std::string, SOCKET>> m_members;
    std::deque<std::pair<SOCKET, std::vector<uint8_t>>> m_queue;
    bool m_paused = false;
    bool m_end = false;
    std::thread m_thread;
};

struct Shared {
    Relay relay;
    std::mutex lock;
    std::vector<std::wstring> balloons;
    std::atomic<bool> hostTransfers{false};

    bool Balloon(const std::wstring& text)
    {
        std::lock_guard<std::mutex> l(lock);
        for (const auto& b : balloons)
            if (b == text)
                return true;
        return false;
    }
};

class Context : public FileShareContext {
public:
    Context(Shared& shared, std::string session, SOCKET channel) : m_shared(shared), m_session(std::move(session)), m_channel(channel) {}
    HINSTANCE Instance() override { return GetModuleHandleW(nullptr); }
    bool SendFileShare(const uint8_t* payload, size_t length) override
    {
        m_shared.relay.Send(m_session, payload, length);
        return true;
    }
    std::string OwnSession() override { return m_session; }
    std::uintptr_t Channel() override { return m_channel; }
    std::vector<FileShareMember> Members() override
    {
        std::vector<FileShareMember> m{{kHost, L"Owner", 1}};
        if (guestPresent)
            m.push_back({kGuest, L"Guest", 0});
        return m;
    }
    void Balloon(const wchar_t*, const wchar_t* text) override
    {
        std::lock_guard<std::mutex> l(m_shared.lock);
        m_shared.balloons.push_back(text);
    }
    void SetHostTransfers(bool active) override { m_shared.hostTransfers = active; }

    std::atomic<bool> guestPresent{true};

private:
    Shared& m_shared;
    std::string m_session;
    std::uintptr_t m_channel;
};

std::wstring TempFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string ReadAll(const std::wstring& path)
{
    WinHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string out;
    char buf[1 << 16];
    DWORD n = 0;
    while (f && ReadFile(f.get(), buf, sizeof buf, &n, nullptr) && n > 0)
        out.append(buf, n);
    return out;
}

// Names in a folder and below it.
std::vector<std::wstring> Tree(const std::wstring& folder)
{
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        std::wstring n = d.cFileName;
        if (n == L"." || n == L"..")
            continue;
        out.push_back(n);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            for (const auto& sub : Tree(folder + n + L"\\"))
                out.push_back(n + L"\\" + sub);
    } while (FindNextFileW(h, &d));
    FindClose(h);
    std::sort(out.begin(), out.end());
    return out;
}

// A message box shown on this thread holds it inside its own loop: another
// thread reads the box's text and answers it.
class BoxAnswer {
public:
    explicit BoxAnswer(const wchar_t* title)
        : m_thread([this, title] {
              for (int i = 0; i < 500; ++i) {
                  HWND box = FindWindowW(L"#32770", title);
                  if (box && IsWindowVisible(box)) {
                      wchar_t buf[512] = L"";
                      GetDlgItemTextW(box, 0xFFFF, buf, 512);
                      m_text = buf;
                      m_done = true;
                      PostMessageW(box, WM_COMMAND, IDOK, 0);
                      return;
                  }
                  Sleep(20);
              }
          })
    {
    }
    ~BoxAnswer()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    // Pumps this thread until the box was answered; its text.
    std::wstring Text()
    {
        WaitFor([this] { return m_done.load(); });
        m_thread.join();
        return m_text;
    }

private:
    std::wstring m_text;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

class FileShareWindowsTest : public ::testing::Test {
protected:
    Shared shared;
    LoopbackSockets hostChannel, guestChannel;
    Context* hostContext = nullptr;
    Context* guestContext = nullptr;
    std::unique_ptr<FileShare> host, guest;
    std::wstring shareFolder = TempFolder(L"fs_share");
    std::wstring saveFolder = TempFolder(L"fs_save");

    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        auto hc = std::make_unique<Context>(shared, kHost, hostChannel.feature);
        auto gc = std::make_unique<Context>(shared, kGuest, guestChannel.feature);
        hostContext = hc.get();
        guestContext = gc.get();
        shared.relay.Join(kHost, hostChannel.peer);
        shared.relay.Join(kGuest, guestChannel.peer);
        host = std::make_unique<FileShare>(std::move(hc));
        guest = std::make_unique<FileShare>(std::move(gc));
        host->SetRole(1);
        for (FileShare* f : {host.get(), guest.get()}) {
            f->StartRecvThread();
            f->StartSendThread();
        }
    }
    void TearDown() override
    {
        host->Close();
        guest->Close();
    }

    HWND HostFiles() { return GetDlgItem(host->HostDialog(), IDC_FS_FILES); }
    HWND GuestFiles() { return ReceivedList(*guest); }
    HWND SettingsPanel() { return fstest::SettingsPanel(*host); }
    HWND UsersPanel() { return fstest::UsersPanel(*host); }

    void Offer(const std::wstring& path, const wchar_t* shot = nullptr) { fstest::Offer(*host, path, L"FileShareWindows", shot); }
    int GuestRow(const std::wstring& name) { return ReceivedRow(*guest, name); }
    std::wstring Download(const std::wstring& name, std::wstring* proposed = nullptr, const wchar_t* as = nullptr)
    {
        return fstest::Download(*guest, name, saveFolder, proposed, as);
    }
    bool GuestState(const std::wstring& name, const std::wstring& state, const std::wstring& progress = L"")
    {
        return ReceivedState(*guest, name, state, progress);
    }
};

} // namespace

TEST_F(FileShareWindowsTest, OfferDownloadAndOpenByteForByte)
{
    const std::wstring small = shareFolder + L"report.txt";
    const std::wstring big = shareFolder + L"data.bin";
    WriteRandom(small, 30000, 1);
    WriteRandom(big, 3 * 1024 * 1024 + 17, 2);

    host->ShowWindow();
    HWND dlg = host->HostDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Text(dlg), L"Sharing Files");
    HMENU bar = GetMenu(dlg);
    wchar_t item[64];
    GetMenuStringW(bar, 0, item, 64, MF_BYPOSITION);
    EXPECT_STREQ(item, L"File");
    GetMenuStringW(bar, IDM_FS_SELECT, item, 64, MF_BYCOMMAND);
    EXPECT_STREQ(item, L"Select File");
    GetMenuStringW(bar, IDM_FS_EXIT, item, 64, MF_BYCOMMAND);
    EXPECT_STREQ(item, L"Exit");

    Offer(small, L"settings_panel");
    EXPECT_TRUE(WaitFor([&] { return shared.Balloon(L"Host share new file: report.txt"); }));
    Offer(big);

    // The participant's dialog asks the host for the list and shows both.
    guest->ShowWindow();
    ASSERT_NE(guest->ParticipantDialog(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return ListView_GetItemCount(GuestFiles()) == 2; }));
    EXPECT_TRUE(GuestState(L"report.txt", L"Not Downloaded", L"0%"));

    std::wstring proposed;
    const std::wstring savedSmall = Download(L"report.txt", &proposed);
    EXPECT_EQ(proposed, L"report.txt");
    ASSERT_TRUE(WaitFor([&] { return GuestState(L"report.txt", L"Downloaded", L"100%"); }));
    EXPECT_EQ(ReadAll(savedSmall), ReadAll(small));
    EXPECT_TRUE(WaitFor([&] { return shared.Balloon(L"User <Guest> begin to download the file <report.txt>."); }));
    EXPECT_TRUE(WaitFor([&] { return shared.Balloon(L"The file <report.txt> for user <Guest> is downloaded."); }));

    // The big one: slowed, and held in the middle for the screenshot.
    shared.relay.delayMs = 2;
    const std::wstring savedBig = Download(L"data.bin");
    ASSERT_TRUE(WaitFor([&] {
        int row = GuestRow(L"data.bin");
        return row >= 0 && Cell(GuestFiles(), row, 1) == L"Downloading" && Cell(GuestFiles(), row, 2) != L"0%";
    }));
    shared.relay.Pause(true);
    PumpFor(300);
    EXPECT_TRUE(WaitFor([&] { return shared.hostTransfers.load(); })) << "the lobby's \"(Sharing Files)\"";
    SaveScreenshot(guest->ParticipantDialog(), L"FileShareWindows", L"participant_downloading");
    shared.relay.delayMs = 0;
    shared.relay.Pause(false);
    ASSERT_TRUE(WaitFor([&] { return GuestState(L"data.bin", L"Downloaded", L"100%"); }, 30000));
    EXPECT_EQ(ReadAll(savedBig), ReadAll(big));
    EXPECT_TRUE(WaitFor([&] { return !shared.hostTransfers.load(); }));

    // The host's users panel for the big file.
    HWND files = HostFiles();
    ListView_SetItemState(files, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    HWND users = GetDlgItem(UsersPanel(), IDC_FS_USERS);
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(UsersPanel()) && ListView_GetItemCount(users) == 1; }));
    EXPECT_TRUE(WaitFor([&] { return Cell(users, 0, 0) == L"Guest" && Cell(users, 0, 1) == L"Downloaded" && Cell(users, 0, 2) == L"100%"; }));
    SetWindowPos(guest->ParticipantDialog(), nullptr, 700, 420, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(dlg, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    PumpFor(200);
    SaveScreenshot(dlg, L"FileShareWindows", L"host_files_and_users");

    // "Open" of a file deleted meanwhile.
    DeleteFileW(savedSmall.c_str());
    ListView_SetItemState(GuestFiles(), GuestRow(L"report.txt"), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    BoxAnswer box(L"Info");
    PostMessageW(guest->ParticipantDialog(), WM_COMMAND, IDM_FS_OPEN, 0);
    EXPECT_EQ(box.Text(), L"The file does not exist");
    DeleteFileW(savedBig.c_str());
}

TEST_F(FileShareWindowsTest, SecondOfferOfAPathAndFilesOf2GiBAreRefused)
{
    const std::wstring path = shareFolder + L"twice.txt";
    WriteRandom(path, 10, 3);
    Offer(path);
    HWND dlg = host->HostDialog();
    PostMessageW(dlg, WM_COMMAND, IDM_FS_SELECT, 0);
    HWND files = NewDialog({dlg});
    ASSERT_NE(files, nullptr);
    ChooseInFileDialog(files, path);
    HWND box = NewDialog({dlg, files}, L"Warn");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, 0xFFFF), L"This file is already shared.");
    SendMessageW(box, WM_COMMAND, IDOK, 0);

    // A sparse file of exactly 2 GiB.
    const std::wstring huge = shareFolder + L"huge.iso";
    HANDLE h = CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 0x80000000ll;
    SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }));
    PostMessageW(dlg, WM_COMMAND, IDM_FS_SELECT, 0);
    files = NewDialog({dlg});
    ASSERT_NE(files, nullptr);
    ChooseInFileDialog(files, huge);
    box = NewDialog({dlg, files}, L"Warn");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, 0xFFFF), L"Files of 2 GB or more cannot be shared.");
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(ListView_GetItemCount(HostFiles()), 1) << "never listed, never announced";
    EXPECT_FALSE(shared.Balloon(L"Host share new file: huge.iso"));
    DeleteFileW(huge.c_str());
}

TEST_F(FileShareWindowsTest, StopDropAndRemoveEndTheDownloadAndItsPartialFile)
{
    const std::wstring path = shareFolder + L"long.bin";
    WriteRandom(path, 4 * 1024 * 1024, 4);
    Offer(path);
    guest->ShowWindow();
    shared.relay.delayMs = 2;
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way == 0 ? "Stop Downloading" : way == 1 ? "Drop Downloading File" : "Remove");
        const std::wstring saved = Download(L"long.bin");
        ASSERT_TRUE(WaitFor([&] {
            int row = GuestRow(L"long.bin");
            return row >= 0 && Cell(GuestFiles(), row, 1) == L"Downloading" && Cell(GuestFiles(), row, 2) != L"0%";
        }));
        shared.relay.Pause(true);
        PumpFor(100);
        ASSERT_NE(GetFileAttributesW(saved.c_str()), INVALID_FILE_ATTRIBUTES);
        if (way == 0)
            host->Host().StopUser(host->Host().Files().at(0).id, kGuest);
        else if (way == 1)
            PostMessageW(guest->ParticipantDialog(), WM_COMMAND, IDM_FS_DROP, 0);
        else
            host->Host().Remove(host->Host().Files().at(0).id);
        shared.relay.Pause(false);
        if (way < 2)
            EXPECT_TRUE(WaitFor([&] { return GuestState(L"long.bin", L"Not Downloaded", L"0%"); }));
        else
            EXPECT_TRUE(WaitFor([&] { return GuestRow(L"long.bin") < 0; })) << "the row goes with the file";
        EXPECT_TRUE(WaitFor([&] { return GetFileAttributesW(saved.c_str()) == INVALID_FILE_ATTRIBUTES; }))
            << "the partial file is removed";
        EXPECT_TRUE(WaitFor([&] { return host->Host().TransferCount() == 0; }));
    }
}

// Regression: partial files went through the command processor ("del" in
// quotes, cut at 512 characters, %VAR% expanded). Now the exact path goes:
// a name with %TEMP%, "&" and quotes-free shell characters in a long path is
// removed, and the names it could be mistaken for stay.
TEST_F(FileShareWindowsTest, APartialFileGoesByItsExactPath)
{
    const std::wstring path = shareFolder + L"odd.bin";
    WriteRandom(path, 2 * 1024 * 1024, 8);
    Offer(path);
    guest->ShowWindow();
    const std::wstring deep = saveFolder + std::wstring(120, L'd') + L"\\";
    CreateDirectoryW(deep.c_str(), nullptr);
    const std::wstring odd = L"%TEMP% & x ^ odd.bin";
    const std::wstring decoys[] = {deep + L"odd.bin", saveFolder + L"odd.bin", deep + L"x"};
    for (const std::wstring& d : decoys)
        WriteRandom(d, 10, 9);
    shared.relay.delayMs = 2;
    const std::wstring saved = Download(L"odd.bin", nullptr, (std::wstring(120, L'd') + L"\\" + odd).c_str());
    ASSERT_EQ(saved, deep + odd);
    ASSERT_TRUE(WaitFor([&] { return GetFileAttributesW(saved.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    PostMessageW(guest->ParticipantDialog(), WM_COMMAND, IDM_FS_DROP, 0);
    EXPECT_TRUE(WaitFor([&] { return GetFileAttributesW(saved.c_str()) == INVALID_FILE_ATTRIBUTES; }));
    for (const std::wstring& d : decoys) {
        EXPECT_NE(GetFileAttributesW(d.c_str()), INVALID_FILE_ATTRIBUTES);
        DeleteFileW(d.c_str());
    }
    RemoveDirectoryW(deep.c_str());
}

// The download's folder on a filesystem that fills (a 1 MB tmpfs that
// small_disk_run.sh mounts as root and names in CORVISK_SMALL_DISK): the
// free-space warning comes first, then the write fails; the partial file
// goes, the host is told, the row says "Not Downloaded" and the user hears
// of it. Never "Downloaded" with a short file.
TEST_F(FileShareWindowsTest, AFullDiskEndsTheDownloadNotDownloaded)
{
    const char* small = std::getenv("CORVISK_SMALL_DISK");
    if (!small || !*small)
        GTEST_SKIP() << "no small filesystem (small_disk_run.sh mounts one as root)";
    const std::wstring folder = std::wstring(small, small + std::strlen(small)) + L"\\";
    const std::wstring path = shareFolder + L"full.bin";
    WriteRandom(path, 3 * 1024 * 1024, 10);
    Offer(path);
    guest->ShowWindow();
    int row = -1;
    ASSERT_TRUE(WaitFor([&] { return (row = GuestRow(L"full.bin")) >= 0; }));
    ListView_SetItemState(GuestFiles(), row, LVIS_SELECTED, LVIS_SELECTED);
    PostMessageW(guest->ParticipantDialog(), WM_COMMAND, IDM_FS_DOWNLOAD, 0);
    HWND save = NewDialog({host->HostDialog(), guest->ParticipantDialog()});
    ASSERT_NE(save, nullptr);
    const std::wstring target = folder + L"full.bin";
    ChooseInFileDialog(save, target);
    HWND warn = NewDialog({host->HostDialog(), guest->ParticipantDialog(), save}, L"Warn");
    ASSERT_NE(warn, nullptr);
    EXPECT_EQ(ControlText(warn, 0xFFFF), L"The disk space is not enough to save the file.");
    SendMessageW(warn, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return GuestState(L"full.bin", L"Downloading"); }));
    EXPECT_TRUE(WaitFor([&] {
        return shared.Balloon(L"The file <full.bin> could not be written (is the disk full?). The download was stopped "
                              L"and the partial file removed.");
    }, 30000));
    EXPECT_TRUE(WaitFor([&] { return GuestState(L"full.bin", L"Not Downloaded", L"0%"); }));
    EXPECT_EQ(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(WaitFor([&] { return host->Host().TransferCount() == 0; })) << "the host was told";
    EXPECT_EQ(host->Host().Files().at(0).users.at(kGuest).state, fileshare::kNotDownloaded);
}

TEST_F(FileShareWindowsTest, NamesFromThePeerStayInsideTheChosenFolder)
{
    // A scripted host announcing hostile names; the guest downloads each with
    // the name proposed, and the host side is played by the test.
    guest->ShowWindow();
    const std::string names[] = {"..\\..\\evil.exe", "C:\\Windows\\x.dll", "\\\\server\\share\\a.txt", "a/b/c.txt",
                                 "CON", "name. ", std::string(300, 'n') + ".txt", "ctl\x01\x1f.txt", "s.txt:ads"};
    const std::vector<std::wstring> before = Tree(saveFolder);
    const std::vector<std::wstring> parentBefore = Tree(saveFolder + L"..\\");
    int id = 3000;
    std::vector<std::wstring> expected;
    for (const std::string& name : names) {
        fileshare::Head h{fileshare::kAnnounce, {}, "EVILHOST", id++};
        const fileshare::Bytes b = fileshare::Announce(h, 8, 0, name);
        guest->OnMessage(b.data(), b.size());
    }
    ASSERT_TRUE(WaitFor([&] { return ListView_GetItemCount(GuestFiles()) == 9; }));
    SaveScreenshot(guest->ParticipantDialog(), L"FileShareWindows", L"cleaned_names");
    for (int row = 0; row < 9; ++row) {
        const std::wstring shown = Cell(GuestFiles(), row, 0);
        for (wchar_t c : std::wstring(L"\\/:"))
            EXPECT_EQ(shown.find(c), std::wstring::npos) << row;
        EXPECT_EQ(shown.find(L".."), std::wstring::npos) << row;
        for (wchar_t c : shown)
            EXPECT_GE(c, 0x20) << row;
        std::wstring proposed;
        Download(shown, &proposed);
        EXPECT_EQ(proposed, shown) << "the save dialog proposes the cleaned name";
        expected.push_back(shown);
    }
    EXPECT_EQ(Cell(GuestFiles(), 4, 0), L"_CON");
    EXPECT_EQ(Cell(GuestFiles(), 0, 0), L"evil.exe");
    // A begin of size 0 from the scripted host and its completion: every
    // download lands in the chosen folder, nothing anywhere else.
    for (int i = 3000; i < id; ++i) {
        const fileshare::Bytes begin = fileshare::TextMessage({fileshare::kBegin, {kGuest}, "", i}, 8, fileshare::NumberField(0));
        const fileshare::Bytes done = fileshare::TextMessage({fileshare::kComplete, {kGuest}, "", i}, 8);
        guest->OnMessage(begin.data(), begin.size());
        guest->OnMessage(done.data(), done.size());
    }
    std::vector<std::wstring> after = Tree(saveFolder);
    std::vector<std::wstring> want = before;
    want.insert(want.end(), expected.begin(), expected.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(after, want);
    std::vector<std::wstring> parentAfter = Tree(saveFolder + L"..\\");
    for (const std::wstring& n : parentAfter) {
        if (n.rfind(L"fs_save\\", 0) != 0) {
            EXPECT_NE(std::find(parentBefore.begin(), parentBefore.end(), n), parentBefore.end())
                << "appeared outside: " << std::string(n.begin(), n.end());
        }
    }
    for (const std::wstring& n : expected)
        DeleteFileW((saveFolder + n).c_str());
}

TEST_F(FileShareWindowsTest, AFileWithdrawnWhileTheSaveDialogIsOpenIsNotDownloaded)
{
    const std::wstring path = shareFolder + L"gone.txt";
    WriteRandom(path, 100, 5);
    Offer(path);
    guest->ShowWindow();
    int row = -1;
    ASSERT_TRUE(WaitFor([&] { return (row = GuestRow(L"gone.txt")) >= 0; }));
    ListView_SetItemState(GuestFiles(), row, LVIS_SELECTED, LVIS_SELECTED);
    PostMessageW(guest->ParticipantDialog(), WM_COMMAND, IDM_FS_DOWNLOAD, 0);
    HWND save = NewDialog({host->HostDialog(), guest->ParticipantDialog()});
    ASSERT_NE(save, nullptr);
    host->Host().Remove(host->Host().Files().at(0).id);
    ASSERT_TRUE(WaitFor([&] { return GuestRow(L"gone.txt") < 0; }));
    ChooseInFileDialog(save, saveFolder + L"gone.txt");
    HWND box = NewDialog({host->HostDialog(), guest->ParticipantDialog(), save}, L"Info");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ControlText(box, 0xFFFF), L"This file is not shared any more.");
    SendMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(GetFileAttributesW((saveFolder + L"gone.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileShareWindowsTest, RoleChangesAndLeavingUsers)
{
    const std::wstring path = shareFolder + L"roles.txt";
    WriteRandom(path, 100, 6);
    Offer(path);
    guest->ShowWindow();
    ASSERT_TRUE(WaitFor([&] { return GuestRow(L"roles.txt") >= 0; }));
    const std::wstring saved = Download(L"roles.txt");
    ASSERT_TRUE(WaitFor([&] { return GuestState(L"roles.txt", L"Downloaded"); }));

    // The guest leaves: state 3 in the host's users panel; back: not downloaded.
    hostContext->guestPresent = false;
    host->SyncParticipants();
    EXPECT_EQ(host->Host().Files().at(0).users.at(kGuest).state, fileshare::kUserAway);
    hostContext->guestPresent = true;
    host->SyncParticipants();
    EXPECT_EQ(host->Host().Files().at(0).users.at(kGuest).state, fileshare::kNotDownloaded);

    // The host becomes participant: its dialog closes, the guest's rows go.
    HWND dlg = host->HostDialog();
    host->SetRole(0);
    EXPECT_FALSE(IsWindow(dlg));
    EXPECT_TRUE(host->Host().Files().empty());
    EXPECT_TRUE(WaitFor([&] { return ListView_GetItemCount(GuestFiles()) == 0; }));
    EXPECT_EQ(ReadAll(saved), ReadAll(path)) << "a finished download stays";
    DeleteFileW(saved.c_str());
}

TEST_F(FileShareWindowsTest, LargeFilesPassWithoutBeingHeldInMemory)
{
    const std::wstring path = shareFolder + L"big64.bin";
    WriteRandom(path, 64u << 20, 7);
    Offer(path);
    guest->ShowWindow();
    PumpFor(200);
    const SIZE_T start = PrivateBytes();
    ASSERT_GT(start, 0u) << "no private bytes read";
    SIZE_T peak = start;
    const std::wstring saved = Download(L"big64.bin");
    ASSERT_TRUE(WaitFor([&] {
        peak = std::max(peak, PrivateBytes());
        return GuestState(L"big64.bin", L"Downloaded");
    }, 240000));
    const std::string a = ReadAll(saved);  // compared after the measurement
    EXPECT_LT(peak - start, SIZE_T(12) << 20) << "private bytes grew by " << (peak - start);
    EXPECT_TRUE(a == ReadAll(path));
    DeleteFileW(saved.c_str());
    DeleteFileW(path.c_str());
}

TEST(FileShareDialogHook, ALayeredOwnWindowOnceEvenWhenActivatedTwice)
{
    static std::atomic<int> registered{0};
    static HWND watched = nullptr;
    SetAppWindowListener([](HWND h) {
        if (h == watched)
            ++registered;
    });
    HWND first = nullptr;
    {
        FileShare::DialogHook hook;
        watched = first = CreateWindowExW(0, L"STATIC", L"hooked", WS_POPUP, 10, 10, 100, 40, nullptr, nullptr,
                                          nullptr, nullptr);
        ASSERT_NE(first, nullptr);
        ShowWindow(first, SW_SHOW);
        HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 200, 10, 100, 40, nullptr,
                                     nullptr, nullptr, nullptr);
        SetActiveWindow(first);
        SetActiveWindow(other);
        SetActiveWindow(first);
        Pump();
        EXPECT_TRUE(GetWindowLongPtrW(first, GWL_EXSTYLE) & WS_EX_LAYERED);
        EXPECT_EQ(registered.load(), 1);
        DestroyWindow(other);
    }
    // Another thread's hook has a handle of its own: installing it there
    // leaves this thread's unhooked state alone, and the reverse.
    std::thread t([] {
        FileShare::DialogHook hook;
        HWND w = CreateWindowExW(0, L"STATIC", L"t", WS_POPUP | WS_VISIBLE, 10, 100, 100, 40, nullptr, nullptr,
                                 nullptr, nullptr);
        SetActiveWindow(w);
        EXPECT_TRUE(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_LAYERED);
        DestroyWindow(w);
    });
    t.join();
    HWND after = CreateWindowExW(0, L"STATIC", L"after", WS_POPUP | WS_VISIBLE, 10, 200, 100, 40, nullptr, nullptr,
                                 nullptr, nullptr);
    SetActiveWindow(after);
    EXPECT_FALSE(GetWindowLongPtrW(after, GWL_EXSTYLE) & WS_EX_LAYERED) << "the hook left with its scope";
    DestroyWindow(after);
    DestroyWindow(first);
    SetAppWindowListener(nullptr);
}
