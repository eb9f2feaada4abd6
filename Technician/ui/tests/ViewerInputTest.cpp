// The participant's input under Wine: key, mouse, wheel and clipboard
// messages of the real viewer windows, and the bytes a scripted host reads.
#include "Technician/ui/tests/ViewerFixture.h"

#include <gtest/gtest.h>

namespace viewertest {
namespace {

using viewer::Bytes;

constexpr int kW = 1200;
constexpr int kH = 800;

// The input messages (KeyEvent, PointerEvent, ClientCutText, SetSW) the host
// has read by the time the viewer falls quiet; the rest is stepped over.
std::vector<Bytes> InputSent(ScriptedHost& host, int quietMs = 300)
{
    Bytes all;
    uint8_t b;
    PumpUntil([] { return false; }, 50);
    while (host.pair.farReadable(quietMs) && host.pair.receiveAtFar(&b, 1, 1000)) {
        all.push_back(b);
        PumpUntil([] { return false; }, 1);
    }
    std::vector<Bytes> found;
    size_t at = 0;
    auto be32 = [&](size_t p) {
        return static_cast<size_t>(all[p]) << 24 | all[p + 1] << 16 | all[p + 2] << 8 | all[p + 3];
    };
    while (at < all.size()) {
        size_t length = 0;
        bool input = false;
        switch (all[at]) {
        case 0: length = 20; break;
        case 2: length = at + 4 <= all.size() ? 4 + 4 * (all[at + 2] << 8 | all[at + 3]) : all.size(); break;
        case 3: length = 10; break;
        case 4: length = 8, input = true; break;
        case 5: length = 6, input = true; break;
        case 6: length = at + 8 <= all.size() ? 8 + be32(at + 4) : all.size(); input = true; break;
        case 10: length = 6, input = true; break;
        default: length = all.size() - at; break;
        }
        length = std::min(length, all.size() - at);
        if (input)
            found.emplace_back(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(at + length));
        at += length;
    }
    return found;
}

Bytes Key(uint32_t keysym, bool down)
{
    return viewer::KeyEventMessage(keysym, down);
}

struct ControlledView {
    explicit ControlledView(bool control)
    {
        meeting.control = control;
        v.gui.Options().colourDepth = 0;
        conn = v.Connect(host.viewerSocket());
        if (!conn)
            return;
        host.sendPicture(std::vector<uint32_t>(static_cast<size_t>(kW) * kH, 0x336699));
        PumpUntil([&] { return conn->Scale().hasFramebuffer(); }, 3000);
        InputSent(host);  // the opening's own messages
        ready = true;
    }
    void Key(UINT msg, WPARAM vk, LPARAM data) { SendMessageW(v.gui.m_hwndViewer, msg, vk, data); }
    ScriptedHost host{kW, kH};
    RecordingMeeting meeting;
    Viewer v{420, 300, &meeting};
    ClientConnection* conn = nullptr;
    bool ready = false;
};

TEST(ViewerInput, KeysGoOnlyWithControl)
{
    ControlledView off(false);
    ASSERT_TRUE(off.ready);
    off.Key(WM_KEYDOWN, VK_RETURN, 0x001C0001);
    off.Key(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 60));
    off.Key(WM_LBUTTONUP, 0, MAKELPARAM(50, 60));
    EXPECT_TRUE(InputSent(off.host).empty()) << "no KeyEvent or PointerEvent without control";
    ASSERT_EQ(off.meeting.marks.size(), 1u) << "a left press places the own mark";
    int fx = 0, fy = 0;
    off.conn->Scale().framebufferPointOf(50, 60, fx, fy);
    EXPECT_EQ(off.meeting.marks[0].x, fx) << "converted like a pointer";
    EXPECT_EQ(off.meeting.marks[0].y, fy);
    EXPECT_GT(fx, 50) << "the picture is fitted smaller";

    ControlledView on(true);
    ASSERT_TRUE(on.ready);
    const struct {
        WPARAM vk;
        LPARAM data;
        uint32_t keysym;
    } keys[] = {{VK_RETURN, 0x001C0001, 0xFF0D}, {VK_RETURN, 0x011C0001, 0xFF8D}, {VK_DELETE, 0x01530001, 0xFFFF},
                {VK_F1, 0x003B0001, 0xFFBE},     {VK_NUMPAD0, 0x00520001, 0xFFB0}, {VK_SPACE, 0x00390001, 0x20},
                {'A', 0x001E0001, 0x61}};
    std::vector<Bytes> want;
    for (const auto& k : keys) {
        on.Key(WM_KEYDOWN, k.vk, k.data);
        on.Key(WM_KEYUP, k.vk, k.data | 0xC0000000);
        want.push_back(Key(k.keysym, true));
        want.push_back(Key(k.keysym, false));
    }
    EXPECT_EQ(InputSent(on.host), want);
    // Losing the focus lifts every modifier on the host.
    SendMessageW(on.v.gui.m_hwndViewer, WM_KILLFOCUS, 0, 0);
    EXPECT_EQ(InputSent(on.host), (std::vector<Bytes>{Key(0xFFE9, false), Key(0xFFE3, false), Key(0xFFE1, false),
                                                      Key(0xFFEA, false), Key(0xFFE4, false), Key(0xFFE2, false)}));
}

TEST(ViewerInput, PointerScaledScrolledEmulatedAndWheel)
{
    ControlledView on(true);
    ASSERT_TRUE(on.ready);
    SendMessageW(on.v.gui.m_hwndViewer, WM_VIEWER_SET_SCALE, 50, 100);
    on.conn->Scale().scrollTo(10, 20);
    HWND w = on.v.gui.m_hwndViewer;
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    EXPECT_EQ(InputSent(on.host), (std::vector<Bytes>{viewer::PointerEventMessage(1, 220, 240),
                                                      viewer::PointerEventMessage(0, 220, 240)}));
    // A lone right press goes out when the emulation timer fires.
    SendMessageW(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(100, 100));
    PumpUntil([] { return false; }, 250);
    SendMessageW(w, WM_RBUTTONUP, 0, MAKELPARAM(100, 100));
    EXPECT_EQ(InputSent(on.host), (std::vector<Bytes>{viewer::PointerEventMessage(4, 220, 240),
                                                      viewer::PointerEventMessage(0, 220, 240)}));
    // Left then right at once: one middle press.
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    SendMessageW(w, WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, MAKELPARAM(101, 100));
    SendMessageW(w, WM_LBUTTONUP, MK_RBUTTON, MAKELPARAM(101, 100));
    SendMessageW(w, WM_RBUTTONUP, 0, MAKELPARAM(101, 100));
    EXPECT_EQ(InputSent(on.host), (std::vector<Bytes>{viewer::PointerEventMessage(2, 222, 240),
                                                      viewer::PointerEventMessage(2, 222, 240),
                                                      viewer::PointerEventMessage(0, 222, 240)}));
    // The wheel: 240 is two notches up, sent once though the frame would see it too.
    SendMessageW(w, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), 0);
    SendMessageW(w, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    EXPECT_EQ(InputSent(on.host),
              (std::vector<Bytes>{viewer::PointerEventMessage(8, 222, 240), viewer::PointerEventMessage(0, 222, 240),
                                  viewer::PointerEventMessage(8, 222, 240), viewer::PointerEventMessage(0, 222, 240),
                                  viewer::PointerEventMessage(16, 222, 240),
                                  viewer::PointerEventMessage(0, 222, 240)}));
    // A monitor pick: the next left release asks for that point's monitor.
    on.v.gui.StartMonitorPick();
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(100, 100));
    EXPECT_EQ(InputSent(on.host), (std::vector<Bytes>{Bytes{10, 0, 0, 220, 0, 240}}));
    EXPECT_FALSE(on.v.gui.PickingMonitor());
    SavePng(Capture(on.v.gui.m_hwndFrame), "viewer_in_control");
}

bool PutText(const char* text)
{
    if (!OpenClipboard(nullptr))
        return false;
    EmptyClipboard();
    const size_t n = strlen(text) + 1;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, n);
    memcpy(GlobalLock(mem), text, n);
    GlobalUnlock(mem);
    const bool ok = SetClipboardData(CF_TEXT, mem) != nullptr;
    CloseClipboard();
    return ok;
}

std::string GetText()
{
    std::string s;
    if (!OpenClipboard(nullptr))
        return "<busy>";
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        s = static_cast<const char*>(GlobalLock(h));
        GlobalUnlock(h);
    }
    CloseClipboard();
    return s;
}

void HostCutText(ScriptedHost& host, const std::string& text, uint32_t length)
{
    Script s;
    s.u8(3).fill(3, 0).u32(length);
    s.bytes.insert(s.bytes.end(), text.begin(), text.end());
    host.send(s);
}

TEST(ViewerInput, ClipboardBothWaysWithControl)
{
    ControlledView on(true);
    ASSERT_TRUE(on.ready);
    ASSERT_TRUE(PutText("a\r\nb"));
    EXPECT_EQ(InputSent(on.host), (std::vector<Bytes>{Bytes{6, 0, 0, 0, 0, 0, 0, 3, 'a', '\n', 'b'}}));

    HostCutText(on.host, "x\ny", 3);
    EXPECT_TRUE(PumpUntil([] { return GetText() == "x\r\ny"; }, 3000)) << GetText();
    EXPECT_TRUE(InputSent(on.host).empty()) << "the viewer's own change is not sent back";
    HostCutText(on.host, "", 0);
    EXPECT_TRUE(PumpUntil([] { return GetText().empty(); }, 3000)) << GetText();

    // Disabled: neither way.
    on.v.gui.Options().clipboardDisabled = true;
    ASSERT_TRUE(PutText("not sent"));
    HostCutText(on.host, "not taken", 9);
    EXPECT_TRUE(InputSent(on.host).empty());
    EXPECT_EQ(GetText(), "not sent");
    on.v.gui.Options().clipboardDisabled = false;

    // Without control: neither way.
    on.meeting.control = false;
    ASSERT_TRUE(PutText("still not sent"));
    HostCutText(on.host, "still not taken", 15);
    EXPECT_TRUE(InputSent(on.host).empty());
    EXPECT_EQ(GetText(), "still not sent");
    on.meeting.control = true;

    // Held open by another window: that update is dropped, viewing goes on.
    HWND other = CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(OpenClipboard(other));
    HostCutText(on.host, "dropped", 7);
    PumpUntil([] { return false; }, 400);
    CloseClipboard();
    DestroyWindow(other);
    EXPECT_EQ(GetText(), "still not sent");
    EXPECT_TRUE(on.conn->Connected());
    EXPECT_EQ(on.meeting.endViewRequests, 0);

    // A host announcing 0xFFFFFFFF bytes ends the viewing cleanly.
    HostCutText(on.host, "", 0xFFFFFFFFu);
    EXPECT_TRUE(PumpUntil([&] { return on.meeting.endViewRequests > 0; }, 3000));
}

} // namespace
} // namespace viewertest
