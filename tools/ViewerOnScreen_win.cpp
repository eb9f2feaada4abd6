// Shows this machine's own screen in the viewer, for trying the viewer by
// hand without a meeting (scripts/run --viewer). Our sharing host grabs the
// screen with GDI and serves it on one end of a loopback sharing channel, as
// the presenter's program does; the viewer frame reads the other end, as a
// participant's does. The host's update pump runs every 50 ms, as the core's.
// Closing the frame ends the program.
//
// Usage: corvisk_viewer [--colour-depth N] [--log FILE]
//   N 0-7, default 1 (the product's); --log writes the host's and the
//   viewer's log lines, every level, to FILE.
#include "Customer/capture/OsVersionGlobals.h"
#include "Customer/session/vncServer.h"
#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/TechnicianGUI.h"
#include "core/base/DHLog.h"
#include "core/base/UpdateMessages.h"
#include "core/tunnel/LocalChannels_win.h"

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr int kPumpMs = 50;

// The host core's update pump: the server's own whole-screen request.
class UpdatePump {
public:
    explicit UpdatePump(vncServer& server)
        : m_thread([this, &server] {
              std::unique_lock<std::mutex> hold(m_lock);
              while (!m_cv.wait_for(hold, std::chrono::milliseconds(kPumpMs), [this] { return m_stop; }))
                  server.RequestScreenUpdate();
          })
    {
    }
    ~UpdatePump()
    {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_stop = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    UpdatePump(const UpdatePump&) = delete;
    UpdatePump& operator=(const UpdatePump&) = delete;

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_stop = false;
    std::thread m_thread;
};

// In a meeting the user's close only minimises the view (the lobby owns
// it); here it ends the program.
LRESULT CALLBACK CloseEndsTheProgram(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR)
{
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

// The right half of the work area, so the screen it shows is beside it.
void PlaceFrame(HWND frame)
{
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int half = (work.right - work.left) / 2;
    SetWindowPos(frame, HWND_TOP, work.left + half, work.top, work.right - work.left - half, work.bottom - work.top,
                 SWP_SHOWWINDOW);
}

bool ReadArguments(int argc, wchar_t** argv, int& colourDepth)
{
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--log") == 0 && i + 1 < argc) {
            char path[MAX_PATH] = {};
            if (!WideCharToMultiByte(CP_ACP, 0, argv[++i], -1, path, sizeof path, nullptr, nullptr)) {
                std::fprintf(stderr, "corvisk_viewer: the log file's name is too long\n");
                return false;
            }
            DHLog& log = DHLog::Instance();
            log.SetMask(0xFF);
            log.SetThreshold(8);
            log.SetFile(path);
            log.OpenFile();
        } else if (std::wcscmp(argv[i], L"--colour-depth") == 0 && i + 1 < argc) {
            wchar_t* end = nullptr;
            const long v = std::wcstol(argv[++i], &end, 10);
            if (end == argv[i] || *end || v < 0 || v > 7) {
                std::fprintf(stderr, "corvisk_viewer: the colour depth is a number from 0 to 7\n");
                return false;
            }
            colourDepth = static_cast<int>(v);
        } else {
            std::fprintf(stderr, "usage: corvisk_viewer [--colour-depth N] [--log FILE]   (N 0-7; default 1)\n");
            return false;
        }
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int colourDepth = 1;
    if (!ReadArguments(argc, argv, colourDepth))
        return 2;
    RegisterUpdateMessages();
    InitOsVersionGlobals();
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    LocalChannels channels;
    if (!channels.StartListener(0) || !channels.CreateChannels(1)) {
        std::fprintf(stderr, "corvisk_viewer: no loopback channel could be made\n");
        return 1;
    }
    auto server = std::make_unique<vncServer>(nullptr, channels.AcceptedEnd(LocalChannel::Sharing));
    server->SetName("This screen");
    if (server->AddClientDefault(1, 1) != 1) {
        std::fprintf(stderr, "corvisk_viewer: the host could not start its session\n");
        return 1;
    }
    auto pump = std::make_unique<UpdatePump>(*server);

    auto gui = std::make_unique<TechnicianGUI>(nullptr, nullptr);
    try {
        gui->CreateWindows();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvisk_viewer: the viewer's windows could not be made (%s)\n", e.what());
        return 1;
    }
    SetWindowSubclass(gui->m_hwndFrame, CloseEndsTheProgram, 1, 0);
    PlaceFrame(gui->m_hwndFrame);
    auto* conn = new ClientConnection(nullptr, channels.ClientEnd(LocalChannel::Sharing));
    gui->Options().colourDepth = colourDepth;  // handed to the connection by the GUI
    gui->AttachConnection(conn);
    gui->UpdateZoomDisplay();
    int status = 0;
    if (conn->Run() != 1) {
        std::fprintf(stderr, "corvisk_viewer: the host did not answer the viewer\n");
        status = 1;
    } else {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    // The core's order: the pump, the viewer's windows and connection (its
    // reader joined), then the host's session, then the channel.
    pump.reset();
    if (gui->m_hwndToolbar && IsWindow(gui->m_hwndToolbar))
        DestroyWindow(gui->m_hwndToolbar);
    if (IsWindow(gui->m_hwndFrame)) {
        RemoveWindowSubclass(gui->m_hwndFrame, CloseEndsTheProgram, 1);
        DestroyWindow(gui->m_hwndFrame);
    }
    conn->m_active = 0;
    gui.reset();
    server.reset();
    channels.Close();
    return status;
}
