// Drives one start of the real Corvisk.exe through its login window, as a
// user would, from another process: only messages that carry no pointer
// (button clicks, typed characters, commands by id), window lookups by
// class, title and control id, and screenshots of each state.
//
// Usage: login_driver CORVISK.EXE PORT SHOTS new|trust|known|stay USER PASSWORD
//   Starts Corvisk.exe in launch mode 4 for localhost:PORT, presses Host,
//   answers the security alert with Always Trust ("trust") or fails when one
//   appears ("new", "known", "stay"), logs in with USER and PASSWORD
//   ("known": the credentials page must offer USER from the server's
//   profile), waits for the login window to hand over and go, then ends the
//   program with its exit message. "stay" is "new" that leaves the program
//   running and prints "pid=<process id> thread=<main thread id>" for the
//   next driver.
//   Screenshots go to screenshots/SHOTS/. Exit code 0 when every step held.
#include "core/base/ThreadMessages.h"
#include "tests/e2e/DriverSteps_win.h"
#include "tests/support/WindowTest_win.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using driver::Type;
using driver::WaitWindow;

// Control ids of the login window's pages and the alert.
constexpr int kHostButton = 1002;
constexpr int kServerCombo = 1116;
constexpr int kNameEdit = 1006;
constexpr int kPasswordEdit = 1007;
constexpr int kAlwaysTrust = 293;
const wchar_t kLoginTitle[] = L"Secure Parlemo - 8.0.0.6";
const wchar_t kAlertTitle[] = L"Security Alert";

struct Search {
    DWORD pid;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM param)
{
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd))
        return TRUE;
    wchar_t title[128] = L"";
    GetWindowTextW(hwnd, title, 128);
    if (wcscmp(title, s->title) != 0)
        return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A visible top-level window of the process with that title.
HWND FindWindowOf(DWORD pid, const wchar_t* title)
{
    Search s{pid, title, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool Fail(const char* what)
{
    std::fprintf(stderr, "login_driver: %s\n", what);
    return false;
}

void Step(const char* what)
{
    std::printf("login_driver: %s\n", what);
    std::fflush(stdout);
}

class Run {
public:
    enum class Kind { New, Trust, Known, Stay };
    Run(std::wstring shots, Kind kind) : m_shots(std::move(shots)), m_kind(kind) {}
    ~Run()
    {
        if (m_process.hProcess) {
            if (m_kind != Kind::Stay && WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(m_process.hProcess, 99);
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
        }
    }

    bool Start(const std::string& exe, const std::string& port)
    {
        std::string command = "\"" + exe + "\" -4 -localhost -" + port;
        STARTUPINFOA si{};
        si.cb = sizeof(si);
        if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_process))
            return Fail("Corvisk.exe did not start");
        m_frame = WaitWindow([&] { return FindWindowOf(m_process.dwProcessId, kLoginTitle); }, 30000);
        if (!m_frame)
            return Fail("no login window");
        m_mainThread = GetWindowThreadProcessId(m_frame, nullptr);
        HWND page = WaitWindow([&] { return wintest::FindChildWithControl(m_frame, kServerCombo); }, 5000);
        if (!page)
            return Fail("no server page");
        // Launch mode 4 preset the server: its text is as long as "localhost:PORT".
        const LRESULT length = SendMessageW(wintest::FindControl(page, kServerCombo), WM_GETTEXTLENGTH, 0, 0);
        if (length != static_cast<LRESULT>(std::string("localhost:" + port).size()))
            return Fail("the server field is not preset");
        Shot(L"1_server");
        return true;
    }

    bool HostToCredentials()
    {
        HWND page = wintest::FindChildWithControl(m_frame, kServerCombo);
        PostMessageW(wintest::FindControl(page, kHostButton), BM_CLICK, 0, 0);
        Step("Host pressed");
        HWND credentials = nullptr;
        bool alertSeen = false;
        for (DWORD waited = 0; waited < 30000 && !credentials; waited += 50, Sleep(50)) {
            if (HWND alert = FindWindowOf(m_process.dwProcessId, kAlertTitle)) {
                if (m_kind != Kind::Trust)
                    return Fail("a security alert appeared");
                if (!alertSeen) {
                    Sleep(300);  // drawn
                    Shot(L"2_alert");
                    PostMessageW(alert, WM_COMMAND, kAlwaysTrust, 0);
                    Step("security alert: Always Trust");
                    alertSeen = true;
                }
            }
            credentials = wintest::FindChildWithControl(m_frame, kNameEdit);
        }
        if (!credentials)
            return Fail("no credentials page");
        if (m_kind == Kind::Trust && !alertSeen)
            return Fail("no security alert");
        return true;
    }

    bool Login(const std::string& user, const std::string& password)
    {
        HWND page = wintest::FindChildWithControl(m_frame, kNameEdit);
        HWND name = wintest::FindControl(page, kNameEdit);
        const LRESULT offered = SendMessageW(name, WM_GETTEXTLENGTH, 0, 0);
        if (m_kind == Kind::Known && offered != static_cast<LRESULT>(user.size()))
            return Fail("the profile's user name is not offered");
        if ((m_kind == Kind::New || m_kind == Kind::Stay) && offered != 0)
            return Fail("a user name is offered for a new server");
        Type(name, user);
        Type(wintest::FindControl(page, kPasswordEdit), password);
        Shot(L"3_credentials");
        PostMessageW(wintest::FindControl(page, IDOK), BM_CLICK, 0, 0);
        Step("Login pressed");
        // The hand-over closes the login window.
        for (DWORD waited = 0; IsWindow(m_frame); waited += 50, Sleep(50)) {
            if (waited >= 30000)
                return Fail("the login window stayed");
        }
        Shot(L"4_logged_in");
        return true;
    }

    // The program goes on; the next driver finds it by these ids.
    bool Stay()
    {
        std::printf("pid=%lu thread=%lu\n", static_cast<unsigned long>(m_process.dwProcessId),
                    static_cast<unsigned long>(m_process.dwThreadId));
        std::fflush(stdout);
        return true;
    }

    bool Exit()
    {
        PostThreadMessageW(m_mainThread, PLM_QUIT, 0, 0);
        if (WaitForSingleObject(m_process.hProcess, 20000) != WAIT_OBJECT_0)
            return Fail("Corvisk.exe did not end");
        DWORD code = 1;
        GetExitCodeProcess(m_process.hProcess, &code);
        std::printf("login_driver: Corvisk.exe ended with %lu\n", static_cast<unsigned long>(code));
        return true;
    }

private:
    void Shot(const wchar_t* state)
    {
        // The whole screen: the login window, or what is left once it went.
        const std::wstring path = wintest::SaveScreenshot(nullptr, m_shots, state);
        if (path.empty())
            Fail("a screenshot could not be saved");
    }

    std::wstring m_shots;
    Kind m_kind;
    PROCESS_INFORMATION m_process{};
    HWND m_frame = nullptr;
    DWORD m_mainThread = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const std::string kind = argc == 7 ? argv[4] : "";
    if (kind != "new" && kind != "trust" && kind != "known" && kind != "stay") {
        std::fprintf(stderr, "usage: login_driver CORVISK.EXE PORT SHOTS new|trust|known|stay USER PASSWORD\n");
        return 2;
    }
    const std::string shots = argv[3];
    Run run(std::wstring(shots.begin(), shots.end()),
            kind == "new"     ? Run::Kind::New
            : kind == "trust" ? Run::Kind::Trust
            : kind == "stay"  ? Run::Kind::Stay
                              : Run::Kind::Known);
    const bool ok = run.Start(argv[1], argv[2]) && run.HostToCredentials() && run.Login(argv[5], argv[6]) &&
                    (kind == "stay" ? run.Stay() : run.Exit());
    return ok ? 0 : 1;
}
