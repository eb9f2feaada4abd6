// Drives a running Corvisk.exe (started and logged in by login_driver "stay")
// through its meeting windows, as a user would, from another process: button
// clicks, typed characters and keys posted, thread messages to the program's
// main thread where the tray or the lobby would post them, window lookups by
// control id, and screenshots of each state. Each call does one step and
// returns; the program goes on running.
//
// Usage: meeting_driver SHOTS PID THREAD STEP ARGS...
//   rows N              the meeting list shows N rows after a refresh; prints
//                       each row as "row: NAME<tab>OWNER"
//   create NAME CODE ADDRESSES
//                       Create in the list, the setup form filled with NAME,
//                       CODE and the required addresses, then Start Now; the
//                       setup window goes
//   join NAME CODE      selects the list's row of NAME, Join, the code typed
//                       into the code dialog, OK; the list window goes
//   invite ADDRESSES    60120 to the main thread opens the invitation window;
//                       the addresses typed, Invite; waits for "Sent Successfully."
//   reschedule START END
//                       60124 to the main thread opens the setup window for
//                       the running meeting; START and END (HH:MM, today)
//                       typed, OK; the window goes
//   chat [TO] TEXT      TEXT typed into the chat docked in the lobby and sent
//                       with Send, to TO when given (a name of the recipient
//                       list), else to everybody
//   chat_sees TEXT      the chat's history shows TEXT within 20 s
//   logout              leaves the meeting (60113 from the leave button, as the
//                       lobby posts it), closes the meeting list that comes
//                       back (the user's logout); the login window comes back
//   board-open X        the lobby's White Board button: the whiteboard's frame
//                       opens; it is moved to (X, 0)
//   board-place X       waits for a whiteboard frame opened by a peer and
//                       moves it to (X, 0)
//   board-draw          pen, rectangle and ellipse strokes on the open
//                       whiteboard, then its picture as "pixel:" lines
//   board-see           waits until the whiteboard shows the owner's strokes,
//                       then its picture as "pixel:" lines
//   board-close         closes the owner's whiteboard frame; it goes
//   board-gone          waits until the peer's whiteboard frame went
//   quit                60101 to the main thread: the program ends
//   Screenshots go to screenshots/SHOTS/. Exit code 0 when every step held.
#include "appliance/ui/MeetingListResources.h"
#include "appliance/ui/MeetingSetupResources.h"
#include "core/base/ThreadMessages.h"
#include "meeting/ChatResources.h"
#include "meeting/CanvasResources.h"
#include "meeting/LobbyCommands.h"
#include "meeting/LobbyResources.h"
#include "tests/e2e/DriverSteps_win.h"
#include "tests/support/WindowTest_win.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using driver::Type;
using driver::WaitWindow;

const wchar_t kInviteClass[] = L"CInvite WndClass";
const wchar_t kLoginTitle[] = L"Secure Parlemo - 8.0.0.6";

DWORD g_pid = 0;
DWORD g_thread = 0;
std::wstring g_shots;

bool Fail(const std::string& what)
{
    std::fprintf(stderr, "meeting_driver: %s\n", what.c_str());
    return false;
}

void Step(const std::string& what)
{
    std::printf("meeting_driver: %s\n", what.c_str());
    std::fflush(stdout);
}

std::wstring Wide(const std::string& s)
{
    std::wstring w(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], static_cast<int>(w.size()));
    w.resize(w.size() - 1);
    return w;
}

std::string Narrow(const std::wstring& w)
{
    std::string s(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr)),
                  '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], static_cast<int>(s.size()), nullptr, nullptr);
    s.resize(s.size() - 1);
    return s;
}

struct Search {
    int controlId;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param)
{
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != g_pid || !IsWindowVisible(hwnd))
        return TRUE;
    if (s->className) {
        wchar_t name[64] = L"";
        GetClassNameW(hwnd, name, 64);
        if (wcscmp(name, s->className) != 0)
            return TRUE;
    } else if (!wintest::FindControl(hwnd, s->controlId)) {
        return TRUE;
    }
    s->found = hwnd;
    return FALSE;
}

// A visible top-level window of the program holding a control of that id.
HWND TopWithControl(int id)
{
    Search s{id, nullptr, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND TopOfClass(const wchar_t* className)
{
    Search s{0, className, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool WaitGone(HWND w, DWORD ms)
{
    for (DWORD waited = 0; IsWindow(w) && IsWindowVisible(w); waited += 50) {
        if (waited >= ms)
            return false;
        Sleep(50);
    }
    return true;
}

// A window's text asked of the window itself (WM_GETTEXT crosses processes
// with its buffer).
std::wstring AskedText(HWND w)
{
    wchar_t text[256] = L"";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied))
        return {};
    text[255] = L'\0';
    return text;
}

bool HasStatic(HWND parent, const std::wstring& text)
{
    for (HWND c = FindWindowExW(parent, nullptr, L"Static", nullptr); c; c = FindWindowExW(parent, c, L"Static", nullptr))
        if (AskedText(c) == text)
            return true;
    return false;
}

// The edit inside a drop-down combo box, where a user types.
HWND ComboEdit(HWND combo) { return FindWindowExW(combo, nullptr, L"Edit", nullptr); }

void Press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void Shot(HWND w, const wchar_t* state)
{
    Sleep(300);  // drawn
    if (wintest::SaveScreenshot(w, g_shots, state).empty())
        Fail("a screenshot could not be saved");
}

// One cell of a list view of the program: the item structure and its text
// buffer live in the program's memory, where the control writes.
std::wstring RemoteCell(HWND view, int row, int column)
{
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, g_pid);
    if (!process)
        return L"?";
    constexpr int kChars = 256;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    std::wstring text = L"?";
    if (remote) {
        LVITEMW item{};
        item.iSubItem = column;
        item.cchTextMax = kChars;
        item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        wchar_t buffer[kChars] = L"";
        if (WriteProcessMemory(process, remote, &item, sizeof(item), nullptr)) {
            SendMessageW(view, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote));
            if (ReadProcessMemory(process, item.pszText, buffer, sizeof(buffer), nullptr)) {
                buffer[kChars - 1] = L'\0';
                text = buffer;
            }
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return text;
}

HWND ListView()
{
    HWND frame = TopWithControl(IDC_MEETING_LIST);
    return frame ? wintest::FindControl(frame, IDC_MEETING_LIST) : nullptr;
}

int RowCount(HWND view) { return static_cast<int>(SendMessageW(view, LVM_GETITEMCOUNT, 0, 0)); }

bool Rows(int expected)
{
    HWND view = WaitWindow(ListView, 30000);
    if (!view)
        return Fail("no meeting list");
    // The list refreshes every 5 s: two refreshes and some slack.
    for (DWORD waited = 0; RowCount(view) != expected; waited += 100, Sleep(100)) {
        if (waited >= 15000 || !IsWindow(view))
            return Fail("the list shows " + std::to_string(RowCount(view)) + " rows, not " +
                        std::to_string(expected));
    }
    for (int row = 0; row < expected; ++row)
        std::printf("row: %s\t%s\n", Narrow(RemoteCell(view, row, 0)).c_str(),
                    Narrow(RemoteCell(view, row, 1)).c_str());
    Shot(GetAncestor(view, GA_ROOT), (L"list_" + std::to_wstring(expected) + L"_rows").c_str());
    return true;
}

bool Create(const std::wstring& name, const std::wstring& code, const std::wstring& addresses)
{
    HWND frame = WaitWindow([] { return TopWithControl(IDC_MEETING_LIST); }, 30000);
    if (!frame)
        return Fail("no meeting list");
    HWND create = wintest::FindControl(frame, IDC_MEETING_CREATE);
    if (!create || !IsWindowVisible(create))
        return Fail("no Create button");
    Press(create);
    Step("Create pressed");
    HWND setup = WaitWindow([] { return TopWithControl(IDC_SETUP_START_NOW); }, 20000);
    if (!setup)
        return Fail("no setup window");
    HWND form = wintest::FindChildWithControl(setup, IDC_SETUP_START_NOW);
    Type(GetDlgItem(form, IDC_SETUP_NAME), name);
    Type(GetDlgItem(form, IDC_SETUP_CODE), code);
    SendMessageW(GetDlgItem(form, IDC_SETUP_EXPAND), BM_CLICK, 0, 0);
    if (!WaitWindow([&] { return IsWindowVisible(GetDlgItem(form, IDC_SETUP_REQUIRED)) ? form : nullptr; }, 5000))
        return Fail("the form does not expand");
    Type(GetDlgItem(form, IDC_SETUP_REQUIRED), addresses);
    Shot(setup, L"setup_form");
    Press(GetDlgItem(form, IDC_SETUP_START_NOW));
    Step("Start Now pressed");
    if (!WaitGone(setup, 30000))
        return Fail("the setup window stayed: " + Narrow(wintest::Text(setup)));
    return true;
}

bool Join(const std::wstring& name, const std::wstring& code)
{
    HWND view = WaitWindow(ListView, 30000);
    if (!view)
        return Fail("no meeting list");
    int row = -1;
    for (int r = 0; r < RowCount(view) && row < 0; ++r)
        if (RemoteCell(view, r, 0) == name)
            row = r;
    if (row < 0)
        return Fail("no row of that meeting");
    // Home, then Down to the row, as keys to the list, then Join. A refresh
    // (every 5 s) that lands in between rebuilds the rows and drops the
    // selection, and Join then says no meeting is selected: select again.
    HWND frame = GetAncestor(view, GA_ROOT);
    HWND dialog = nullptr;
    for (int attempt = 0; attempt < 5 && !dialog; ++attempt) {
        wintest::PostKey(view, VK_HOME);
        for (int r = 0; r < row; ++r)
            wintest::PostKey(view, VK_DOWN);
        const bool selected = WaitWindow([&] {
            return SendMessageW(view, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == row ? view : nullptr;
        }, 2000) != nullptr;
        if (!selected)
            continue;
        if (attempt == 0)
            Shot(frame, L"list_selected");
        Press(wintest::FindControl(GetParent(view), IDOK));
        Step("Join pressed");
        dialog = WaitWindow([&] { return wintest::FindChildWithControl(frame, IDC_CODE_PROMPT); }, 3000);
    }
    if (!dialog)
        return Fail("no code dialog");
    Type(GetDlgItem(dialog, IDC_MEETING_CODE), code);
    Shot(frame, L"code_dialog");
    Press(GetDlgItem(dialog, IDOK));
    Step("code given");
    if (!WaitGone(frame, 30000))
        return Fail("the list window stayed");
    return true;
}

// The invitation window's controls, in the order it makes them: the first
// edit takes the required addresses, the fourth button is Invite.
bool Invite(const std::wstring& addresses)
{
    PostThreadMessageW(g_thread, PLM_FOCUS_PANEL, 0, 0);
    HWND invite = WaitWindow([] { return TopOfClass(kInviteClass); }, 10000);
    if (!invite)
        return Fail("no invitation window");
    HWND required = FindWindowExW(invite, nullptr, L"Edit", nullptr);
    HWND button = nullptr;
    for (int i = 0; i < 4; ++i)
        button = FindWindowExW(invite, button, L"Button", nullptr);
    if (!required || !button)
        return Fail("the invitation window's controls are missing");
    Type(required, addresses);
    Shot(invite, L"invite_filled");
    Press(button);
    Step("Invite pressed");
    // The status line says how the appliance answered.
    for (DWORD waited = 0; !HasStatic(invite, L"Sent Successfully."); waited += 100, Sleep(100)) {
        if (waited >= 20000)
            return Fail("the invitation window never says \"Sent Successfully.\"");
    }
    Shot(invite, L"invite_sent");
    return true;
}

bool Reschedule(const std::wstring& start, const std::wstring& end)
{
    PostThreadMessageW(g_thread, PLM_RESCHEDULE, 0, 0);
    HWND setup = WaitWindow([] { return TopWithControl(IDC_SETUP_START_NOW); }, 10000);
    if (!setup)
        return Fail("no setup window for the reschedule");
    HWND form = wintest::FindChildWithControl(setup, IDC_SETUP_START_NOW);
    if (IsWindowEnabled(GetDlgItem(form, IDC_SETUP_NAME)))
        return Fail("the name can be changed in a reschedule");
    Type(ComboEdit(GetDlgItem(form, IDC_SETUP_START_TIME)), start);
    Type(ComboEdit(GetDlgItem(form, IDC_SETUP_END_TIME)), end);
    Shot(setup, L"reschedule_form");
    Press(GetDlgItem(form, IDOK));
    Step("reschedule OK pressed");
    if (!WaitGone(setup, 20000))
        return Fail("the setup window stayed: " + Narrow(wintest::Text(setup)));
    return true;
}

// The chat's history as the program holds it (line ends made plain).
std::wstring ChatHistory(HWND history)
{
    std::wstring text(20000, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(history, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             2000, &copied))
        return {};
    text.resize(wcslen(text.c_str()));
    std::wstring plain;
    for (wchar_t c : text)
        if (c != L'\r')
            plain.push_back(c);
    return plain;
}

bool Chat(const std::wstring& to, const std::wstring& text)
{
    HWND lobby = WaitWindow([] { return TopWithControl(IDC_CHAT_INPUT); }, 20000);
    if (!lobby)
        return Fail("no chat in the lobby");
    if (!to.empty()) {
        HWND list = wintest::FindControl(lobby, IDC_CHAT_RECIPIENTS);
        DWORD_PTR index = static_cast<DWORD_PTR>(CB_ERR);
        SendMessageTimeoutW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(to.c_str()),
                            SMTO_ABORTIFHUNG, 2000, &index);
        if (static_cast<LRESULT>(index) == CB_ERR)
            return Fail("no recipient " + Narrow(to));
    }
    Type(wintest::FindControl(lobby, IDC_CHAT_INPUT), text);
    Press(wintest::FindControl(lobby, IDC_CHAT_SEND));
    Step("chat sent");
    return true;
}

bool ChatSees(const std::wstring& text)
{
    HWND lobby = WaitWindow([] { return TopWithControl(IDC_CHAT_HISTORY); }, 20000);
    if (!lobby)
        return Fail("no chat in the lobby");
    HWND history = wintest::FindControl(lobby, IDC_CHAT_HISTORY);
    for (DWORD waited = 0; ChatHistory(history).find(text) == std::wstring::npos; waited += 200, Sleep(200)) {
        if (waited >= 20000)
            return Fail("the chat never shows \"" + Narrow(text) + "\": " + Narrow(ChatHistory(history)));
    }
    Shot(lobby, L"chat");
    return true;
}

bool LeaveAndLogout()
{
    PostThreadMessageW(g_thread, PLM_MEETING_LEFT, PLM_LEAVE_BUTTON, 0);
    HWND frame = WaitWindow([] { return TopWithControl(IDC_MEETING_LIST); }, 20000);
    if (!frame)
        return Fail("no meeting list after leaving");
    Shot(frame, L"list_after_leaving");
    PostMessageW(frame, WM_CLOSE, 0, 0);
    Step("meeting list closed");
    HWND login = WaitWindow([] { return wintest::FindTopLevelOf(g_pid, nullptr, kLoginTitle); }, 20000);
    if (!login)
        return Fail("no login window after the logout");
    Shot(nullptr, L"logged_out");  // the whole screen, as the login driver takes the login window
    return true;
}

// The whiteboard: its frame, its drawing window and its toolbar.
const wchar_t kBoardFrameClass[] = L"Corvisk_Canvas_Frame";

HWND BoardDrawing(HWND frame) { return FindWindowExW(frame, nullptr, L"Corvisk_Canvas", nullptr); }

bool PlaceBoard(HWND frame, int x)
{
    SetWindowPos(frame, HWND_TOP, x, 0, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    Sleep(300);
    return true;
}

// The drawing window's picture on a grid of client points: the same grid on
// two programs shows the same strokes.
void PrintPicture(HWND frame)
{
    HWND drawing = BoardDrawing(frame);
    InvalidateRect(drawing, nullptr, FALSE);
    Sleep(300);
    for (int y = 20; y < 300; y += 13)
        for (int x = 10; x < 480; x += 17)
            std::printf("pixel: %d,%d %06lx\n", x, y, static_cast<unsigned long>(wintest::ClientPixel(drawing, x, y)));
    std::fflush(stdout);
}

void Stroke(HWND drawing, const std::vector<POINT>& points)
{
    PostMessageW(drawing, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(points.front().x, points.front().y));
    for (size_t i = 1; i < points.size(); ++i) {
        PostMessageW(drawing, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(points[i].x, points[i].y));
        Sleep(20);
    }
    PostMessageW(drawing, WM_LBUTTONUP, 0, MAKELPARAM(points.back().x, points.back().y));
    Sleep(200);
}

bool BoardOpen(int x)
{
    HWND frame = TopWithControl(IDC_LOBBY_LIST);
    HWND list = frame ? wintest::FindControl(frame, IDC_LOBBY_LIST) : nullptr;
    if (!list)
        return Fail("no lobby");
    PostMessageW(GetParent(list), WM_COMMAND, kButtonWhiteboard, 0);
    HWND board = WaitWindow([] { return TopOfClass(kBoardFrameClass); }, 20000);
    if (!board)
        return Fail("no whiteboard after the White Board button");
    Step("whiteboard open");
    return PlaceBoard(board, x);
}

bool BoardPlace(int x)
{
    HWND board = WaitWindow([] { return TopOfClass(kBoardFrameClass); }, 20000);
    if (!board)
        return Fail("no whiteboard opened by the peer");
    Step("the peer's whiteboard open");
    return PlaceBoard(board, x);
}

bool BoardDraw()
{
    HWND board = TopOfClass(kBoardFrameClass);
    HWND bar = board ? GetParent(wintest::FindControl(board, IDC_CANVAS_WIDTH)) : nullptr;
    HWND drawing = board ? BoardDrawing(board) : nullptr;
    if (!bar || !drawing)
        return Fail("no whiteboard to draw on");
    SendMessageW(bar, WM_COMMAND, IDC_CANVAS_TOOL_FIRST + 2, 0);  // pen
    Stroke(drawing, {{30, 40}, {80, 60}, {140, 50}, {200, 120}, {260, 90}});
    SendMessageW(bar, WM_COMMAND, IDC_CANVAS_TOOL_FIRST + 5, 0);  // rectangle
    Stroke(drawing, {{300, 200}, {340, 240}, {420, 280}});
    SendMessageW(bar, WM_COMMAND, IDC_CANVAS_TOOL_FIRST + 6, 0);  // ellipse
    Stroke(drawing, {{40, 150}, {120, 200}, {220, 260}});
    Shot(board, L"whiteboard_owner");
    PrintPicture(board);
    return true;
}

bool BoardSee()
{
    HWND board = TopOfClass(kBoardFrameClass);
    HWND drawing = board ? BoardDrawing(board) : nullptr;
    if (!drawing)
        return Fail("no whiteboard to watch");
    // The last stroke's outline at the ellipse's left edge.
    const bool seen = WaitWindow(
        [&]() -> HWND {
            InvalidateRect(drawing, nullptr, FALSE);
            return GetRValue(wintest::ClientPixel(drawing, 40, 205)) < 0x80 ? drawing : nullptr;
        },
        20000);
    if (!seen)
        return Fail("the owner's strokes did not appear");
    Sleep(500);
    Shot(board, L"whiteboard_guest");
    PrintPicture(board);
    return true;
}

bool BoardClose()
{
    HWND board = TopOfClass(kBoardFrameClass);
    if (!board)
        return Fail("no whiteboard to close");
    PostMessageW(board, WM_CLOSE, 0, 0);
    return WaitGone(board, 20000) ? true : Fail("the whiteboard stayed");
}

bool BoardGone()
{
    const bool gone = WaitWindow([]() -> HWND { return TopOfClass(kBoardFrameClass) ? nullptr : GetDesktopWindow(); },
                                 20000) != nullptr;
    return gone ? true : Fail("the peer's whiteboard stayed");
}

bool Quit()
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, g_pid);
    PostThreadMessageW(g_thread, PLM_QUIT, 0, 0);
    const bool ended = process && WaitForSingleObject(process, 20000) == WAIT_OBJECT_0;
    if (process)
        CloseHandle(process);
    return ended ? true : Fail("Corvisk.exe did not end");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5)
        return std::fprintf(stderr, "usage: meeting_driver SHOTS PID THREAD STEP ARGS...\n"), 2;
    g_shots = Wide(argv[1]);
    g_pid = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    g_thread = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    const std::string step = argv[4];
    std::vector<std::wstring> a;
    for (int i = 5; i < argc; ++i)
        a.push_back(Wide(argv[i]));
    bool ok = false;
    if (step == "rows" && a.size() == 1)
        ok = Rows(std::atoi(argv[5]));
    else if (step == "create" && a.size() == 3)
        ok = Create(a[0], a[1], a[2]);
    else if (step == "join" && a.size() == 2)
        ok = Join(a[0], a[1]);
    else if (step == "invite" && a.size() == 1)
        ok = Invite(a[0]);
    else if (step == "reschedule" && a.size() == 2)
        ok = Reschedule(a[0], a[1]);
    else if (step == "chat" && (a.size() == 1 || a.size() == 2))
        ok = a.size() == 1 ? Chat(L"", a[0]) : Chat(a[0], a[1]);
    else if (step == "chat_sees" && a.size() == 1)
        ok = ChatSees(a[0]);
    else if (step == "logout" && a.empty())
        ok = LeaveAndLogout();
    else if (step == "board-open" && a.size() == 1)
        ok = BoardOpen(std::atoi(argv[5]));
    else if (step == "board-place" && a.size() == 1)
        ok = BoardPlace(std::atoi(argv[5]));
    else if (step == "board-draw" && a.empty())
        ok = BoardDraw();
    else if (step == "board-see" && a.empty())
        ok = BoardSee();
    else if (step == "board-close" && a.empty())
        ok = BoardClose();
    else if (step == "board-gone" && a.empty())
        ok = BoardGone();
    else if (step == "quit" && a.empty())
        ok = Quit();
    else
        return std::fprintf(stderr, "meeting_driver: unknown step or arguments\n"), 2;
    return ok ? 0 : 1;
}
