// File sharing between two programs through the local appliance: the
// meeting's owner clicks "File Share" on its lobby's toolbar and offers files
// of 0, 7168, 7169 bytes, a few MB and 64 MB through "Select File" and the
// real open dialog; the guest clicks "File Share", sees them "Not Downloaded"
// and downloads each through the real save dialog into a folder of its own.
// The 64 MB file leaves the private bytes of both programs within a few MB
// of where they were before it. That every received file is the sent one is
// checked after both programs ended, from the Linux side of the two prefixes
// (same_files.py, run by the fixture).
//
// Run by tunnel_fixture.sh with CORVISK_FIXTURE_PEER_FILTER (the owner's
// suite in a second prefix), as the voice test is.
#include "core/app/tests/LobbyReadback_win.h"
#include "core/app/tests/SharePicture_win.h"
#include "extras/FileShare.h"
#include "extras/tests/FileShareSteps_win.h"
#include "meeting/CMeetingLobby.h"
#include "meeting/LobbyResources.h"
#include "tests/support/WindowTest_win.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>

namespace {

using namespace meetingtest;
using namespace sharetest;
using namespace lobbytest;
using namespace fstest;

// Under C:\ of each prefix: what the owner offers, where the guest saves.
const wchar_t kShareFolder[] = L"C:\\fsshare\\";
const wchar_t kSaveFolder[] = L"C:\\fsgot\\";

struct Offered {
    const wchar_t* name;
    size_t size;
};
const Offered kFiles[] = {
    {L"empty.bin", 0},
    {L"one_chunk.bin", 7168},
    {L"one_chunk_and_a_byte.bin", 7169},
    {L"few_mb.bin", 3 * 1024 * 1024 + 5},
};
const Offered kBig{L"big64.bin", 64u << 20};

// Private bytes may move by this much around a 64 MB transfer: the file is
// read and written chunk by chunk, never held.
constexpr SIZE_T kMemorySlack = 8u << 20;

void ReportMemory(const char* side, SIZE_T start, SIZE_T peak, SIZE_T end)
{
    std::printf("%s private bytes: start %zu, peak +%zu, end %+lld\n", side, static_cast<size_t>(start),
                static_cast<size_t>(peak - start), static_cast<long long>(end) - static_cast<long long>(start));
    EXPECT_GT(start, 0u) << side << ": no private bytes read";
    EXPECT_LT(peak - start, kMemorySlack) << side << ": the 64 MB file was held";
    EXPECT_LT(end > start ? end - start : 0, kMemorySlack) << side;
}

// The lobby at x, its toolbar ready; the toolbar.
HWND PlaceLobby(CManager& m, int x)
{
    CMeetingLobby& lobby = *m.lobby;
    EXPECT_TRUE(WaitUntil([&] { return IsWindow(lobby.Window()) && lobby.ToolbarWindow(); }));
    SetWindowPos(lobby.Window(), nullptr, x, 420, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return lobby.ToolbarWindow();
}

// A user's click on "File Share" with the lobby above the other program's
// windows.
void ClickFileShare(CManager& m)
{
    HWND frame = m.lobby->Window();
    SetWindowPos(frame, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    wintest::PumpFor(300);
    ClickButton(m.lobby->ToolbarWindow(), IDC_TB_FILE_SHARE);
    SetWindowPos(frame, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

class FileSharePeers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TrustRunCa(); }
};

TEST_F(FileSharePeers, Owner)
{
    struct Done {
        ~Done()
        {
            Signal("owner-in");
            Signal("owner-offered");
            Signal("owner-done");
        }
    } done;
    // The guest's packets (list request, starts, acknowledgements) wait 3 ms
    // each at the appliance: the 64 MB file takes long enough to be seen
    // in the middle from both sides.
    WriteFaults(R"([{"service": "PL_CONTROL", "session": "sessB", "fs_delay": 0.003}])");
    Instance a("sessA", L"alice", LaunchWithSession);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); })) << "the owner did not enter";
    const HWND toolbar = PlaceLobby(a.M(), 0);
    ASSERT_TRUE(wintest::WaitFor([&] { return a.M().role == 1; }, 20000)) << "no host role";
    SetCursorPos(kPointerX, kPointerY);
    Signal("owner-in");
    const HWND members = a.M().lobby->ListWindow();
    ASSERT_TRUE(wintest::WaitFor([&] { return Signalled("guest-in") && Rows(members) == 2; }, 60000));
    ASSERT_TRUE(wintest::WaitFor([&] { return ButtonValue(toolbar, IDC_TB_FILE_SHARE) == 1; }, 10000));

    CreateDirectoryW(kShareFolder, nullptr);
    unsigned seed = 1;
    for (const Offered& f : kFiles)
        WriteRandom(kShareFolder + std::wstring(f.name), f.size, seed++);
    WriteRandom(kShareFolder + std::wstring(kBig.name), kBig.size, seed);

    FileShare& share = *a.M().fileShare;
    ClickFileShare(a.M());
    ASSERT_TRUE(wintest::WaitFor([&] { return share.HostDialog() && IsWindowVisible(share.HostDialog()); }))
        << "no host dialog";
    const HWND dlg = share.HostDialog();
    EXPECT_EQ(wintest::Text(dlg), L"Sharing Files");
    SetWindowPos(dlg, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    bool first = true;
    for (const Offered& f : kFiles) {
        Offer(share, kShareFolder + std::wstring(f.name), L"FileSharePeers", first ? L"owner_settings_panel" : nullptr);
        first = false;
    }
    Offer(share, kShareFolder + std::wstring(kBig.name));
    Signal("owner-offered");

    // The 64 MB file: private bytes from just before the guest starts it
    // until its end, the users panel and the lobby's role text meanwhile.
    ASSERT_TRUE(wintest::WaitFor([] { return Signalled("guest-big-start"); }, 120000)) << "the guest did not start";
    const SIZE_T start = PrivateBytes();
    SIZE_T peak = start;
    auto sample = [&] { peak = std::max(peak, PrivateBytes()); };
    ASSERT_TRUE(wintest::WaitFor([&] { return sample(), Signalled("guest-midway"); }, 120000));
    HWND files = GetDlgItem(dlg, IDC_FS_FILES);
    const int bigRow = static_cast<int>(std::size(kFiles));
    ListView_SetItemState(files, bigRow, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    HWND users = GetDlgItem(UsersPanel(share), IDC_FS_USERS);
    EXPECT_TRUE(wintest::WaitFor([&] {
        return sample(), IsWindowVisible(UsersPanel(share)) && ListView_GetItemCount(users) == 1 &&
                             Cell(users, 0, 0) == L"bob" && Cell(users, 0, 1) == L"Downloading";
    })) << "the users panel shows no download";
    EXPECT_TRUE(wintest::WaitFor([&] {
        return sample(), ItemText(members, 0, 1).find(L"(Sharing Files)") != std::wstring::npos ||
                             ItemText(members, 1, 1).find(L"(Sharing Files)") != std::wstring::npos;
    }, 20000)) << "the lobby does not show the host sharing files";
    Shot(dlg, L"FileSharePeers", L"owner_files_and_users");
    ASSERT_TRUE(wintest::WaitFor([&] { return sample(), Signalled("guest-big-done"); }, 300000));
    EXPECT_TRUE(wintest::WaitFor([&] {
        return Cell(users, 0, 1) == L"Downloaded" && Cell(users, 0, 2) == L"100%";
    }));
    ReportMemory("owner", start, peak, PrivateBytes());
    Shot(dlg, L"FileSharePeers", L"owner_downloaded");
    Signal("owner-done");

    EXPECT_TRUE(wintest::WaitFor([] { return Signalled("guest-done"); }, 60000));
    a.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(wintest::WaitFor([&] { return !a.M().InMeeting(); }, 15000));
}

TEST_F(FileSharePeers, Guest)
{
    struct Done {
        ~Done()
        {
            Signal("guest-big-start");
            Signal("guest-midway");
            Signal("guest-big-done");
            Signal("guest-done");
        }
    } done;
    ASSERT_TRUE(WaitUntil([] { return Signalled("owner-in"); }, 60000)) << "the owner did not enter";
    Instance b("sessB", L"bob", LaunchWithSession);
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); })) << "the guest did not enter";
    CManager& m = b.M();
    PlaceLobby(m, 640);
    ASSERT_TRUE(wintest::WaitFor([&] { return Rows(m.lobby->ListWindow()) == 2; }, 20000));
    Signal("guest-in");
    ASSERT_TRUE(wintest::WaitFor([] { return Signalled("owner-offered"); }, 120000)) << "nothing offered";

    FileShare& share = *m.fileShare;
    ClickFileShare(m);
    ASSERT_TRUE(wintest::WaitFor([&] { return share.ParticipantDialog() && IsWindowVisible(share.ParticipantDialog()); }))
        << "no participant dialog";
    const HWND dlg = share.ParticipantDialog();
    SetWindowPos(dlg, nullptr, 640, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const size_t offered = std::size(kFiles) + 1;
    ASSERT_TRUE(wintest::WaitFor([&] { return ListView_GetItemCount(ReceivedList(share)) == static_cast<int>(offered); }))
        << "the host's list did not arrive";
    for (const Offered& f : kFiles)
        EXPECT_TRUE(ReceivedState(share, f.name, L"Not Downloaded", L"0%"));

    CreateDirectoryW(kSaveFolder, nullptr);
    for (const Offered& f : kFiles) {
        std::wstring proposed;
        Download(share, f.name, kSaveFolder, &proposed);
        EXPECT_EQ(proposed, f.name);
        EXPECT_TRUE(wintest::WaitFor([&] { return ReceivedState(share, f.name, L"Downloaded", L"100%"); }, 60000))
            << "not downloaded: " << std::string(f.name, f.name + wcslen(f.name));
    }

    Signal("guest-big-start");
    const SIZE_T start = PrivateBytes();
    SIZE_T peak = start;
    auto sample = [&] { peak = std::max(peak, PrivateBytes()); };
    Download(share, kBig.name, kSaveFolder);
    ASSERT_TRUE(wintest::WaitFor([&] {
        const int row = ReceivedRow(share, kBig.name);
        return sample(), row >= 0 && Cell(ReceivedList(share), row, 1) == L"Downloading" &&
                             Cell(ReceivedList(share), row, 2) != L"0%";
    }, 60000)) << "no progress";
    Shot(dlg, L"FileSharePeers", L"guest_downloading");
    Signal("guest-midway");
    EXPECT_TRUE(wintest::WaitFor([&] { return sample(), ReceivedState(share, kBig.name, L"Downloaded", L"100%"); }, 300000));
    ReportMemory("guest", start, peak, PrivateBytes());
    Signal("guest-big-done");
    Shot(dlg, L"FileSharePeers", L"guest_downloaded");

    ASSERT_TRUE(wintest::WaitFor([] { return Signalled("owner-done"); }, 60000));
    b.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(wintest::WaitFor([&] { return !m.InMeeting(); }, 15000));
}

} // namespace
