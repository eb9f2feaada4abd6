// What the viewer's window tests share: a GUI with its frame shown at a
// known size, a scripted host on a loopback pair that serves a picture of the
// test's choosing in the host's 32-bit format, a meeting that records what
// the viewer asks of the core, and the toolbar driven like a user does.
#pragma once

#include "Technician/connection/ClientConnection.h"
#include "Technician/connection/tests/ReaderFixture.h"
#include "Technician/ui/TechnicianGUI.h"
#include "Technician/ui/ViewerResources.h"
#include "Technician/ui/tests/ScreenShot.h"
#include "core/base/AnnotationLayer.h"
#include "core/base/MeetingContext.h"
#include "rfb/tests/LoopbackPair.h"

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace viewertest {

using viewer::testing::Script;

class RecordingMeeting : public MeetingContext {
public:
    bool SendControlMessage(uint8_t, const std::string&, const std::string&, uint32_t, uint32_t, uint32_t) override
    {
        return true;
    }
    bool SendTextMessage(uint8_t, std::string_view) override { return true; }
    bool SendCanvasMessage(std::string_view) override { return true; }
    bool SendPartiMarkMessage(std::string_view) override { return true; }
    bool SendAudioMessage(uint8_t, const uint8_t*, size_t) override { return true; }
    std::string GetParticipantName(const std::string&) override { return std::string(); }
    bool ControlHeld() const override { return control; }
    std::uintptr_t FeatureChannelEnd(FeatureChannel) override { return ~std::uintptr_t(0); }
    void SignalViewerStarted() override { ++started; }
    void EndSharingView() override { ++endViewRequests; }
    bool RecordingViewerFrames() const override { return recording; }
    std::shared_ptr<const AnnotationLayer> GetAnnotationLayer() override { return layer; }
    void PlaceOwnMark(int x, int y) override { marks.push_back({x, y}); }

    bool control = false;
    std::vector<POINT> marks;
    bool recording = false;
    std::shared_ptr<const AnnotationLayer> layer;
    int started = 0;
    int endViewRequests = 0;
};

// A GUI whose frame shows at (0, 0) with a client area of clientW x clientH.
struct Viewer {
    explicit Viewer(int clientW = 420, int clientH = 300, MeetingContext* meeting = nullptr)
        : meeting(meeting), gui(meeting, nullptr)
    {
        gui.CreateWindows();
        RECT want{0, 0, clientW, clientH};
        AdjustWindowRect(&want, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(gui.m_hwndFrame, HWND_TOP, 0, 0, want.right - want.left, want.bottom - want.top,
                     SWP_SHOWWINDOW);
        UpdateWindow(gui.m_hwndFrame);
    }
    // Makes the connection on `socket`, runs it and waits until the window
    // has taken the session's start (the view knows the picture's size).
    ClientConnection* Connect(uintptr_t socket)
    {
        auto* conn = new ClientConnection(meeting, static_cast<SOCKET>(socket));
        gui.AttachConnection(conn);
        if (conn->Run() != 1)
            return nullptr;
        PumpUntil([&] { return conn->Scale().hasFramebuffer(); }, 2000);
        return conn;
    }
    RECT ViewerClient() const
    {
        RECT rc;
        GetClientRect(gui.m_hwndViewer, &rc);
        return rc;
    }
    MeetingContext* meeting;
    TechnicianGUI gui;
};

// A host that answers the start request with a w x h screen in the 32-bit
// format (red at bit 16), then sends whatever the test gives it.
class ScriptedHost {
public:
    ScriptedHost(int w, int h) : m_w(w), m_h(h)
    {
        m_answer = std::thread([this] {
            uint8_t b[2];
            if (!pair.receiveAtFar(b, 2, 5000))
                return;
            Script s;
            s.u8(73).u8(1).u16(m_w).u16(m_h);
            s.raw({32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0}).u16(0).u32(0);
            pair.sendFromFar(s.bytes);
        });
    }
    ~ScriptedHost()
    {
        if (m_answer.joinable())
            m_answer.join();
    }
    uintptr_t viewerSocket() const { return static_cast<uintptr_t>(pair.nearEnd()); }
    // The start reply has gone out.
    void waitAnswered()
    {
        if (m_answer.joinable())
            m_answer.join();
    }
    // One FramebufferUpdate with a Raw rectangle of the whole picture.
    void sendPicture(const std::vector<uint32_t>& pixels)
    {
        Script s;
        s.update(1).rect(0, 0, m_w, m_h, 0);
        for (uint32_t p : pixels)
            s.u8(p & 0xFF).u8(p >> 8 & 0xFF).u8(p >> 16 & 0xFF).u8(0);
        pair.sendFromFar(s.bytes);
    }
    void send(const Script& s) { pair.sendFromFar(s.bytes); }

    LoopbackPair pair{LoopbackPair::Sends::AtOnce};

private:
    int m_w, m_h;
    std::thread m_answer;
};

// The framebuffer equals `pixels` (0x00RRGGBB).
inline bool FramebufferIs(ClientConnection& conn, const std::vector<uint32_t>& pixels)
{
    decode::Framebuffer* fb = conn.Framebuffer();
    if (!fb)
        return false;
    const decode::Framebuffer::View v = fb->view();
    for (int y = 0; y < fb->height(); ++y)
        for (int x = 0; x < fb->width(); ++x)
            if ((v.pixel(x, y) & 0xFFFFFF) != pixels[static_cast<size_t>(y) * fb->width() + x])
                return false;
    return true;
}

// The toolbar driven with the mouse, the combo box's list with the mouse and
// its edit with typed keys, as a user does.
inline void ClickMiddleOf(HWND hwnd, const RECT& r)
{
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(hwnd, WM_LBUTTONUP, 0, at);
}

inline void ClickToolbarButton(const TechnicianGUI& gui, int command)
{
    HWND tb = gui.Zoom().Toolbar();
    const LRESULT index = SendMessageW(tb, TB_COMMANDTOINDEX, static_cast<WPARAM>(command), 0);
    RECT r = {};
    SendMessageW(tb, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    ClickMiddleOf(tb, r);
    PumpUntil([] { return false; }, 30);
}

inline bool ButtonChecked(const TechnicianGUI& gui, int command)
{
    return SendMessageW(gui.Zoom().Toolbar(), TB_ISBUTTONCHECKED, static_cast<WPARAM>(command), 0) != 0;
}

inline std::wstring ButtonText(const TechnicianGUI& gui, int command)
{
    wchar_t text[64] = {};
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT;
    info.pszText = text;
    info.cchText = 64;
    SendMessageW(gui.Zoom().Toolbar(), TB_GETBUTTONINFOW, static_cast<WPARAM>(command),
                 reinterpret_cast<LPARAM>(&info));
    return text;
}

inline std::wstring ComboText(const TechnicianGUI& gui)
{
    wchar_t text[64] = {};
    GetWindowTextW(gui.Zoom().Combo(), text, 64);
    return text;
}

inline HWND ComboPart(const TechnicianGUI& gui, bool list)
{
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    GetComboBoxInfo(gui.Zoom().Combo(), &info);
    return list ? info.hwndList : info.hwndItem;
}

// Opens the drop-down list and clicks item `index`.
inline void ChooseComboItem(const TechnicianGUI& gui, int index)
{
    HWND combo = gui.Zoom().Combo();
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    HWND list = ComboPart(gui, true);
    RECT r = {};
    SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    ClickMiddleOf(list, r);
    PumpUntil([] { return false; }, 40);
}

// Types `text` into the combo box's edit in place of what it held, then a key.
inline void TypeZoomText(const TechnicianGUI& gui, const wchar_t* text, WPARAM finalKey = VK_RETURN)
{
    HWND edit = ComboPart(gui, false);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CHAR, VK_BACK, 0);
    for (const wchar_t* c = text; *c; ++c)
        SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(*c), 0);
    SendMessageW(edit, WM_KEYDOWN, finalKey, 0);
    PumpUntil([] { return false; }, 30);
}

inline std::wstring Percent(int p)
{
    return std::to_wstring(p) + L" %";
}

} // namespace viewertest
