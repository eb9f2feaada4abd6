// The annotation canvas and the whiteboard under Wine on Xvfb: an owner's
// canvas driven by pointer messages on its drawing window, its messages
// handed to a viewer canvas as the receive threads hand them, and the two
// layers compared pixel by pixel (layers, not screenshots, since Xvfb without
// a compositor shows layered windows unblended).
#include "meeting/CCanvas.h"

#include "core/base/AppWindows.h"
#include "core/base/tests/QuietMeetingContext.h"
#include "meeting/CanvasResources.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records what a canvas sends and how often it asks for a repaint.
class RecordingContext : public QuietMeetingContext {
public:
    bool SendCanvasMessage(std::string_view text) override
    {
        std::lock_guard<std::mutex> l(m_lock);
        m_sent.emplace_back(text);
        return true;
    }
    void RepaintSharingView() override { ++repaints; }

    std::vector<std::string> Sent()
    {
        std::lock_guard<std::mutex> l(m_lock);
        return m_sent;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> l(m_lock);
        return m_sent.size();
    }
    // The messages sent since `from`, handed to another canvas as the
    // receive threads do.
    size_t ForwardFrom(size_t from, CCanvas& to)
    {
        const std::vector<std::string> sent = Sent();
        for (size_t i = from; i < sent.size(); ++i)
            to.ApplyMessage(sent[i].c_str());
        return sent.size();
    }
    bool HasPrefix(const std::string& prefix)
    {
        for (const std::string& s : Sent())
            if (s.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> l(m_lock);
        m_sent.clear();
    }

    std::atomic<int> repaints{0};

private:
    std::mutex m_lock;
    std::vector<std::string> m_sent;
};

std::string Control(const char* prefix, int command, int a, int b, int c, int d)
{
    return std::string(prefix) + std::to_string(command) + "\r\nCtlCode---:" + std::to_string(a) +
           "\r\nCtlCode---:" + std::to_string(b) + "\r\nCtlCode---:" + std::to_string(c) +
           "\r\nCtlCode---:" + std::to_string(d) + "\r\n";
}

// One participant's canvas with its messager.
struct Side {
    explicit Side(int surface) : canvas(surface), messager(&canvas, &context) {}
    ~Side() { canvas.Close(); }
    RecordingContext context;
    CCanvas canvas;
    CCanvasMessager messager;
};

bool SameLayers(CCanvas& a, CCanvas& b)
{
    auto la = a.GetLayerBitmap();
    auto lb = b.GetLayerBitmap();
    return la && lb && la->width == lb->width && la->height == lb->height && la->pixels == lb->pixels;
}

// Where two layers differ, for a failure's message.
std::string DiffBox(CCanvas& a, CCanvas& b)
{
    auto la = a.GetLayerBitmap();
    auto lb = b.GetLayerBitmap();
    if (!la || !lb || la->width != lb->width || la->height != lb->height)
        return "no layer or another size";
    int left = la->width, top = la->height, right = -1, bottom = -1, count = 0;
    for (int y = 0; y < la->height; ++y)
        for (int x = 0; x < la->width; ++x) {
            const size_t i = static_cast<size_t>(y) * la->width + x;
            if (la->pixels[i] != lb->pixels[i]) {
                ++count;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    return std::to_string(count) + " pixels in (" + std::to_string(left) + "," + std::to_string(top) + ")-(" +
           std::to_string(right) + "," + std::to_string(bottom) + ")";
}

uint32_t PixelAt(CCanvas& c, int x, int y)
{
    auto layer = c.GetLayerBitmap();
    if (!layer || x < 0 || y < 0 || x >= layer->width || y >= layer->height)
        return 0xDEADBEEF;
    return layer->pixels[static_cast<size_t>(y) * layer->width + x];
}

// A drag with the left button on the owner's drawing window, in client
// coordinates; returns once the owner has sent its release.
void Drag(Side& owner, const std::vector<POINT>& points)
{
    HWND w = owner.canvas.DrawingWindow();
    const size_t releases = owner.context.Count();
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(points.front().x, points.front().y));
    for (size_t i = 1; i < points.size(); ++i)
        PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(points[i].x, points[i].y));
    PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(points.back().x, points.back().y));
    ASSERT_TRUE(wintest::WaitFor([&] {
        const auto sent = owner.context.Sent();
        for (size_t i = releases; i < sent.size(); ++i)
            if (sent[i].compare(2, 4, "WB:1") == 0 || sent[i].compare(2, 4, "MA:1") == 0)
                return sent[i][0] == 'M';
        return false;
    }));
}

void ChooseTool(Side& owner, int type)
{
    SendMessageW(owner.canvas.ToolbarWindow(), WM_COMMAND, IDC_CANVAS_TOOL_FIRST + type, 0);
}

bool IsWhite(uint32_t p)
{
    return (p & 0x00FFFFFF) == 0x00FFFFFF;
}

// What a line or outline leaves: a dark, fully covered pixel.
bool IsDark(uint32_t p)
{
    return (p >> 24) == 0xFF && (p & 0xFF) < 0x40 && ((p >> 8) & 0xFF) < 0x40 && ((p >> 16) & 0xFF) < 0x40;
}

} // namespace

TEST(CanvasWhiteboard, OwnerStrokesAppearAlikeOnTheViewer)
{
    Side owner(kCanvasWhiteboard), viewer(kCanvasWhiteboard);
    ASSERT_EQ(owner.canvas.StartWhiteboardThread(kCanvasWhiteboardOwner), 1);
    HWND frame = owner.canvas.FrameWindow();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(wintest::Text(frame), L"White Board");
    RECT rc = {};
    GetWindowRect(frame, &rc);
    EXPECT_EQ(rc.right - rc.left, 700);
    EXPECT_EQ(rc.bottom - rc.top, 480);
    EXPECT_TRUE(GetWindowLongPtrW(frame, GWL_STYLE) & WS_THICKFRAME);
    HWND buttons = wintest::FindControl(owner.canvas.ToolbarWindow(), IDC_CANVAS_TOOLBAR);
    EXPECT_EQ(SendMessageW(buttons, TB_BUTTONCOUNT, 0, 0), 9);
    EXPECT_TRUE(GetWindowLongPtrW(owner.canvas.DrawingWindow(), GWL_STYLE) & WS_VSCROLL);
    ASSERT_GE(owner.context.Count(), 1u);
    EXPECT_EQ(owner.context.Sent()[0], Control("CEWB:", 3, 700, 480, 2048, 1536));

    // The owner's "open" opens the viewer's frame: not sizable, no toolbar.
    owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_EQ(viewer.canvas.Kind(), kCanvasWhiteboardViewer);
    HWND viewerFrame = viewer.canvas.FrameWindow();
    ASSERT_NE(viewerFrame, nullptr);
    EXPECT_FALSE(GetWindowLongPtrW(viewerFrame, GWL_STYLE) & WS_THICKFRAME);
    EXPECT_EQ(viewer.canvas.ToolbarWindow(), nullptr);
    EXPECT_EQ(viewer.canvas.CanvasWidth(), 2048);
    EXPECT_EQ(viewer.canvas.CanvasHeight(), 1536);
    SetWindowPos(frame, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(viewerFrame, nullptr, 580, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    // A tool change tells the viewers the old and the new tool.
    size_t mark = owner.context.Count();
    ChooseTool(owner, kToolPen);
    EXPECT_EQ(owner.context.Sent().at(mark), Control("CEWB:", 0, kToolSelect, kToolPen, 0, 0));
    Drag(owner, {{20, 120}, {60, 130}, {100, 110}, {140, 150}});
    const std::string firstMove = owner.context.Sent().at(mark + 1);
    EXPECT_EQ(firstMove.substr(0, 8), "MEWB:6\r\n");
    RECT stage = {};
    GetClientRect(owner.canvas.DrawingWindow(), &stage);
    EXPECT_NE(firstMove.find("Stage-----:0,0," + std::to_string(stage.right) + "," + std::to_string(stage.bottom) +
                             "\r\n"),
              std::string::npos)
        << "the stage is the drawing window's client area: " << firstMove;
    EXPECT_NE(firstMove.find("Point-----:20,120,60,130\r\nTty-------:2\r\nWidth-----:5\r\n"), std::string::npos)
        << firstMove;

    // The highlighter's stroke crosses itself without darkening there.
    ChooseTool(owner, kToolHighlighter);
    Drag(owner, {{160, 200}, {260, 200}, {210, 160}, {210, 260}});
    EXPECT_EQ(PixelAt(owner.canvas, 210, 200), PixelAt(owner.canvas, 180, 200)) << "crossing";
    EXPECT_NE(PixelAt(owner.canvas, 180, 200), PixelAt(owner.canvas, 180, 230)) << "the stroke is there";

    // A rectangle dragged from (50, 80) to (10, 20) covers (10, 20)-(50, 80).
    ChooseTool(owner, kToolRectangle);
    Drag(owner, {{50, 80}, {30, 50}, {10, 20}});
    EXPECT_TRUE(IsDark(PixelAt(owner.canvas, 10, 50)));
    EXPECT_TRUE(IsDark(PixelAt(owner.canvas, 30, 80)));
    EXPECT_TRUE(IsDark(PixelAt(owner.canvas, 50, 30)));
    EXPECT_TRUE(IsWhite(PixelAt(owner.canvas, 30, 50))) << "no fill";
    EXPECT_TRUE(IsWhite(PixelAt(owner.canvas, 58, 50))) << "nothing past the box";

    ChooseTool(owner, kToolLine);
    Drag(owner, {{300, 40}, {350, 60}, {420, 100}});
    ChooseTool(owner, kToolEllipse);
    Drag(owner, {{300, 120}, {380, 170}, {460, 220}});
    EXPECT_TRUE(IsDark(PixelAt(owner.canvas, 300, 170)));

    // The whiteboard's eraser paints white over the pen's line.
    EXPECT_TRUE(IsDark(PixelAt(owner.canvas, 60, 130)));
    ChooseTool(owner, kToolEraser);
    Drag(owner, {{40, 126}, {80, 126}, {80, 134}});
    EXPECT_TRUE(IsWhite(PixelAt(owner.canvas, 60, 130)));

    // Text: settings first, the text 100 ms later, the commit on focus loss.
    ChooseTool(owner, kToolText);
    HWND w = owner.canvas.DrawingWindow();
    // Sent, not posted: the click's own release message goes out before the mark.
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 300));
    SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(30, 300));
    HWND text = owner.canvas.TextWindow();
    ASSERT_TRUE(wintest::WaitFor([&] { return IsWindowVisible(text) != FALSE; }));
    mark = owner.context.Count();
    HWND edit = GetDlgItem(text, IDC_CANVAS_TEXT_EDIT);
    for (wchar_t c : std::wstring(L"Hello"))
        PostMessageW(edit, WM_CHAR, c, 1);
    ASSERT_TRUE(wintest::WaitFor([&] {
        const auto sent = owner.context.Sent();
        return !sent.empty() && sent.back() == "TIWB:0\r\nPoint-----:30,300\r\nTextString:Hello\r\n";
    }));
    auto sent = owner.context.Sent();
    sent.erase(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(mark));
    EXPECT_NE(sent[0].find("MEWB:-1\r\nStage-----:"), std::string::npos);
    EXPECT_NE(sent[0].find("Point-----:-1000,-1000,-1000,-1000\r\nTty-------:7\r\n"), std::string::npos);
    EXPECT_EQ(sent[1].substr(0, 8), "TIWB:0\r\n") << "the text follows its settings";
    SendMessageW(text, WM_COMMAND, MAKEWPARAM(IDC_CANVAS_TEXT_EDIT, EN_KILLFOCUS), reinterpret_cast<LPARAM>(edit));
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.context.HasPrefix("TIWB:1"); }));
    EXPECT_EQ(owner.context.Sent().back(), "TIWB:1\r\nPoint-----:30,300\r\nTextString:Hello\r\n");
    EXPECT_FALSE(IsWindowVisible(text));

    // The viewer replays every step into the same picture.
    owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_TRUE(wintest::WaitFor([&] { return SameLayers(owner.canvas, viewer.canvas); }))
        << "the viewer's layer differs from the owner's: " << DiffBox(owner.canvas, viewer.canvas);
    InvalidateRect(owner.canvas.DrawingWindow(), nullptr, FALSE);
    InvalidateRect(viewer.canvas.DrawingWindow(), nullptr, FALSE);
    wintest::PumpFor(300);
    // The two frames on screen, region by region.
    for (int y = 20; y < 280; y += 37)
        for (int x = 10; x < 470; x += 41)
            EXPECT_EQ(wintest::ClientPixel(owner.canvas.DrawingWindow(), x, y),
                      wintest::ClientPixel(viewer.canvas.DrawingWindow(), x, y))
                << x << "," << y;
    wintest::SaveScreenshot(frame, L"canvas_whiteboard", L"owner");
    wintest::SaveScreenshot(viewerFrame, L"canvas_whiteboard", L"viewer");

    // Text committed at the very corner is not drawn.
    const auto before = viewer.canvas.GetLayerBitmap();
    viewer.canvas.ApplyMessage("TIWB:1\r\nPoint-----:0,0\r\nTextString:corner\r\n");
    viewer.canvas.ApplyMessage("TIWB:1\r\nPoint-----:200,300\r\nTextString:placed\r\n");
    ASSERT_TRUE(wintest::WaitFor([&] { return !SameLayers(owner.canvas, viewer.canvas); }));
    const auto after = viewer.canvas.GetLayerBitmap();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(after->pixels[static_cast<size_t>(y) * after->width + x],
                      before->pixels[static_cast<size_t>(y) * before->width + x])
                << x << "," << y;

    // "Clear All Contents" makes both boards white.
    owner.context.Clear();
    
    SendMessageW(owner.canvas.ToolbarWindow(), WM_COMMAND, IDC_CANVAS_CLEAR_ALL, 0);
    EXPECT_EQ(owner.context.Sent().at(0), Control("CEWB:", 2, 0, 0, 0, 0));
    owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_TRUE(wintest::WaitFor([&] {
        auto l = viewer.canvas.GetLayerBitmap();
        return l && std::all_of(l->pixels.begin(), l->pixels.end(), [](uint32_t p) { return p == 0xFFFFFFFF; });
    }));
    EXPECT_TRUE(SameLayers(owner.canvas, viewer.canvas));
}

// A shape dragged big and then small: neither the preview on the owner's
// layer and window nor the committed picture on either board keeps any of
// the big one.
TEST(CanvasWhiteboard, APreviewMovedFromBigToSmallLeavesNoTrace)
{
    struct Case {
        int tool;
        POINT small;   // the big shape runs from (190, 40) to (550, 300)
        POINT onBig;   // on the big shape's outline only
        POINT onSmall; // on the small one's only
    };
    const Case cases[] = {
        {kToolRectangle, {250, 90}, {550, 170}, {250, 65}},
        {kToolEllipse, {250, 90}, {550, 170}, {250, 65}},
        {kToolLine, {190, 120}, {370, 170}, {190, 100}},
    };
    Side owner(kCanvasWhiteboard), viewer(kCanvasWhiteboard);
    ASSERT_EQ(owner.canvas.StartWhiteboardThread(kCanvasWhiteboardOwner), 1);
    size_t forwarded = owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_EQ(viewer.canvas.Kind(), kCanvasWhiteboardViewer);
    // Side by side: the shapes lie where neither frame covers the other.
    HWND frame = owner.canvas.FrameWindow();
    HWND w = owner.canvas.DrawingWindow();
    SetWindowPos(frame, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(viewer.canvas.FrameWindow(), nullptr, 580, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    auto shows = [](HWND window, POINT dark, POINT white) {
        return wintest::WaitFor([&] {
            const COLORREF d = wintest::ClientPixel(window, dark.x, dark.y);
            return GetRValue(d) < 0x40 && GetGValue(d) < 0x40 && GetBValue(d) < 0x40 &&
                   wintest::ClientPixel(window, white.x, white.y) == RGB(255, 255, 255);
        });
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tool " << c.tool);
        SendMessageW(owner.canvas.ToolbarWindow(), WM_COMMAND, IDC_CANVAS_CLEAR_ALL, 0);
        ChooseTool(owner, c.tool);
        PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(190, 40));
        PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(550, 300));
        ASSERT_TRUE(wintest::WaitFor([&] { return IsDark(PixelAt(owner.canvas, c.onBig.x, c.onBig.y)); }));
        ASSERT_TRUE(shows(w, c.onBig, c.onSmall)) << "the big preview on the owner's window";
        PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(c.small.x, c.small.y));
        ASSERT_TRUE(wintest::WaitFor([&] { return IsDark(PixelAt(owner.canvas, c.onSmall.x, c.onSmall.y)); }));
        EXPECT_TRUE(IsWhite(PixelAt(owner.canvas, c.onBig.x, c.onBig.y))) << "the preview's layer";
        EXPECT_TRUE(shows(w, c.onSmall, c.onBig)) << "the owner's window shows the small preview alone";
        if (c.tool == kToolRectangle)
            wintest::SaveScreenshot(frame, L"canvas_preview", L"small_after_big");
        const size_t releases = owner.context.Count();
        PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(c.small.x, c.small.y));
        ASSERT_TRUE(wintest::WaitFor([&] {
            const auto sent = owner.context.Sent();
            return sent.size() > releases && sent.back().compare(0, 7, "MEWB:1\r") == 0;
        }));
        EXPECT_TRUE(IsWhite(PixelAt(owner.canvas, c.onBig.x, c.onBig.y))) << "the committed layer";
        EXPECT_TRUE(IsDark(PixelAt(owner.canvas, c.onSmall.x, c.onSmall.y)));
        EXPECT_TRUE(shows(w, c.onSmall, c.onBig)) << "the owner's window after the release";
        forwarded = owner.context.ForwardFrom(forwarded, viewer.canvas);
        ASSERT_TRUE(wintest::WaitFor([&] { return SameLayers(owner.canvas, viewer.canvas); }))
            << "the viewer's layer differs from the owner's: " << DiffBox(owner.canvas, viewer.canvas);
        EXPECT_TRUE(shows(viewer.canvas.DrawingWindow(), c.onSmall, c.onBig)) << "the viewer's window";
    }
}

TEST(CanvasWhiteboard, FrameScrollResizeAndClose)
{
    Side owner(kCanvasWhiteboard), viewer(kCanvasWhiteboard);
    ASSERT_EQ(owner.canvas.StartWhiteboardThread(kCanvasWhiteboardOwner), 1);
    HWND frame = owner.canvas.FrameWindow();
    // A second opening by the owner only brings the frame up.
    EXPECT_EQ(owner.canvas.StartWhiteboardThread(kCanvasWhiteboardOwner), 1);
    EXPECT_EQ(owner.canvas.FrameWindow(), frame);
    owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_NE(viewer.canvas.FrameWindow(), nullptr);

    // A joining participant's state request: the frame less the toolbar.
    owner.context.Clear();
    owner.canvas.ApplyMessage(Control("EVBH:", 5, 0, 0, 0, 0).c_str());
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.context.Count() == 1; }));
    RECT bar = {};
    GetWindowRect(owner.canvas.ToolbarWindow(), &bar);
    EXPECT_EQ(owner.context.Sent()[0], Control("CEWB:", 3, 700, 480 - (bar.bottom - bar.top), 2048, 1536));

    // Scrolling sends the new position; it stops at the last page.
    owner.context.Clear();
    HWND drawing = owner.canvas.DrawingWindow();
    SendMessageW(drawing, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(owner.context.Sent().at(0), Control("CEWB:", 13, 10, 0, 0, 0));
    SendMessageW(drawing, WM_HSCROLL, SB_BOTTOM, 0);
    RECT client = {};
    GetClientRect(drawing, &client);
    EXPECT_EQ(owner.context.Sent().at(1), Control("CEWB:", 12, 2048 - client.right, 0, 0, 0));
    EXPECT_EQ(GetScrollPos(drawing, SB_HORZ), 2048 - client.right);

    // Resizing the owner's frame sends its client size; the viewer follows.
    owner.context.Clear();
    SetWindowPos(frame, nullptr, 0, 0, 640, 400, SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.context.HasPrefix("CEWB:11"); }));
    GetClientRect(frame, &client);
    EXPECT_EQ(owner.context.Sent().back(), Control("CEWB:", 11, client.right, client.bottom, 0, 0));
    owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_TRUE(wintest::WaitFor([&] {
        RECT r = {};
        GetWindowRect(viewer.canvas.FrameWindow(), &r);
        return r.right - r.left == client.right && r.bottom - r.top == client.bottom;
    }));

    // The viewer's close only hides its frame; the tray's item shows it again.
    HWND viewerFrame = viewer.canvas.FrameWindow();
    SendMessageW(viewerFrame, WM_CLOSE, 0, 0);
    int visible = -1;
    ASSERT_EQ(viewer.canvas.IsWhiteboardVisible(&visible), 1);
    EXPECT_EQ(visible, 0);
    viewer.canvas.ShowWhiteboard(SW_SHOW);
    ASSERT_EQ(viewer.canvas.IsWhiteboardVisible(&visible), 1);
    EXPECT_EQ(visible, 1);
    EXPECT_EQ(owner.canvas.IsWhiteboardVisible(&visible), 0) << "only a viewer's frame";

    // The owner's close sends control 1 and the viewer's frame goes.
    owner.context.Clear();
    SendMessageW(frame, WM_CLOSE, 0, 0);
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.canvas.Kind() == kCanvasClosed; }));
    EXPECT_EQ(owner.context.Sent().at(0), Control("CEWB:", 1, 0, 0, 0, 0));
    EXPECT_FALSE(IsWindow(frame));
    // Its thread is gone too: waiting for it ends at once.
    const DWORD before = GetTickCount();
    owner.canvas.Shutdown();
    EXPECT_LT(GetTickCount() - before, 1000u);
    owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_TRUE(wintest::WaitFor([&] { return viewer.canvas.Kind() == kCanvasClosed; }));
    EXPECT_FALSE(IsWindow(viewerFrame));
    EXPECT_EQ(viewer.canvas.IsWhiteboardVisible(&visible), 0);
}

TEST(CanvasToolbar, OptionsFollowTheToolAndTheirLimits)
{
    Side owner(kCanvasWhiteboard);
    ASSERT_EQ(owner.canvas.StartWhiteboardThread(kCanvasWhiteboardOwner), 1);
    HWND bar = owner.canvas.ToolbarWindow();
    auto enabled = [&](int id) { return IsWindowEnabled(GetDlgItem(bar, id)) != FALSE; };

    // Select: no options at all.
    EXPECT_FALSE(enabled(IDC_CANVAS_WIDTH));
    EXPECT_FALSE(enabled(IDC_CANVAS_FONT));
    EXPECT_FALSE(enabled(IDC_CANVAS_FOREGROUND));
    // Pen: width and stroke colour.
    ChooseTool(owner, kToolPen);
    EXPECT_TRUE(enabled(IDC_CANVAS_WIDTH));
    EXPECT_TRUE(enabled(IDC_CANVAS_FOREGROUND));
    EXPECT_FALSE(enabled(IDC_CANVAS_BACKGROUND));
    EXPECT_FALSE(enabled(IDC_CANVAS_FONT));
    EXPECT_EQ(wintest::ControlText(bar, IDC_CANVAS_WIDTH), L"5");
    // Width 0 becomes 1, 250 becomes 100.
    SendDlgItemMessageW(bar, IDC_CANVAS_WIDTH, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"0"));
    EXPECT_EQ(wintest::ControlText(bar, IDC_CANVAS_WIDTH), L"1");
    EXPECT_EQ(owner.canvas.CurrentTool().width, 1);
    SendDlgItemMessageW(bar, IDC_CANVAS_WIDTH, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"250"));
    EXPECT_EQ(wintest::ControlText(bar, IDC_CANVAS_WIDTH), L"100");
    EXPECT_EQ(owner.canvas.CurrentTool().width, 100);
    // Each tool keeps its own settings.
    ChooseTool(owner, kToolLine);
    EXPECT_EQ(wintest::ControlText(bar, IDC_CANVAS_WIDTH), L"10");
    ChooseTool(owner, kToolPen);
    EXPECT_EQ(owner.canvas.CurrentTool().width, 100);
    // Rectangle: both colours.
    ChooseTool(owner, kToolRectangle);
    EXPECT_TRUE(enabled(IDC_CANVAS_BACKGROUND));

    // Text: the font options; the list holds the installed families, sorted.
    ChooseTool(owner, kToolText);
    EXPECT_FALSE(enabled(IDC_CANVAS_WIDTH));
    EXPECT_TRUE(enabled(IDC_CANVAS_FONT));
    HWND fonts = GetDlgItem(bar, IDC_CANVAS_FONT);
    const LRESULT count = SendMessageW(fonts, CB_GETCOUNT, 0, 0);
    EXPECT_GT(count, 0);
    std::wstring previous;
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t name[LF_FACESIZE + 8] = {};
        SendMessageW(fonts, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
        EXPECT_LE(previous, std::wstring(name));
        previous = name;
    }
    EXPECT_EQ(wintest::ControlText(bar, IDC_CANVAS_FONT_SIZE), L"20");
    // A typed size of 4 becomes 8, 97 becomes 96.
    for (auto c : {std::pair<const wchar_t*, const wchar_t*>{L"4", L"8"}, {L"97", L"96"}, {L"33", L"33"}}) {
        SetDlgItemTextW(bar, IDC_CANVAS_FONT_SIZE, c.first);
        SendMessageW(bar, WM_COMMAND, MAKEWPARAM(IDC_CANVAS_FONT_SIZE, CBN_KILLFOCUS),
                     reinterpret_cast<LPARAM>(GetDlgItem(bar, IDC_CANVAS_FONT_SIZE)));
        EXPECT_EQ(wintest::ControlText(bar, IDC_CANVAS_FONT_SIZE), c.second) << c.first;
    }
    EXPECT_EQ(owner.canvas.CurrentTool().fontSize, 33);
    // Bold, italic and underline set bits 1, 2 and 4.
    wintest::Click(bar, IDC_CANVAS_BOLD);
    EXPECT_EQ(owner.canvas.CurrentTool().fontStyle, 1);
    wintest::Click(bar, IDC_CANVAS_ITALIC);
    wintest::Click(bar, IDC_CANVAS_UNDERLINE);
    EXPECT_EQ(owner.canvas.CurrentTool().fontStyle, 7);
    wintest::Click(bar, IDC_CANVAS_ITALIC);
    EXPECT_EQ(owner.canvas.CurrentTool().fontStyle, 5);
    EXPECT_EQ(IsDlgButtonChecked(bar, IDC_CANVAS_ITALIC), BST_UNCHECKED);

    // The highlighter's colour dialog has "No Color" and the alpha edit.
    ChooseTool(owner, kToolHighlighter);
    PostMessageW(GetDlgItem(bar, IDC_CANVAS_FOREGROUND), BM_CLICK, 0, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] {
        dialog = wintest::FindTopLevel(L"#32770", nullptr);
        return dialog && GetDlgItem(dialog, IDC_CANVAS_NO_COLOR);
    }));
    EXPECT_EQ(wintest::ControlText(dialog, IDC_CANVAS_NO_COLOR), L"No Color");
    EXPECT_EQ(wintest::ControlText(dialog, IDC_CANVAS_ALPHA_LABEL), L"Alpha:");
    EXPECT_EQ(wintest::ControlText(dialog, IDC_CANVAS_ALPHA_RANGE), L"(1~100)");
    EXPECT_EQ(wintest::ControlText(dialog, IDC_CANVAS_ALPHA_EDIT), L"50");
    wintest::SaveScreenshot(dialog, L"canvas_toolbar", L"colour_dialog");
    PostMessageW(dialog, WM_COMMAND, IDC_CANVAS_NO_COLOR, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_CANVAS_NO_COLOR)));
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.canvas.CurrentTool().foregroundNone == 1; }));
    EXPECT_EQ(owner.canvas.CurrentTool().foreground, 0x0000FF) << "the colour stays behind the none flag";
    InvalidateRect(owner.canvas.FrameWindow(), nullptr, TRUE);
    wintest::PumpFor(200);
    wintest::SaveScreenshot(bar, L"canvas_toolbar", L"no_colour_swatch");
    // The pen's dialog has no alpha.
    ChooseTool(owner, kToolPen);
    PostMessageW(GetDlgItem(bar, IDC_CANVAS_FOREGROUND), BM_CLICK, 0, 0);
    ASSERT_TRUE(wintest::WaitFor([&] {
        dialog = wintest::FindTopLevel(L"#32770", nullptr);
        return dialog && GetDlgItem(dialog, IDC_CANVAS_NO_COLOR);
    }));
    EXPECT_EQ(GetDlgItem(dialog, IDC_CANVAS_ALPHA_EDIT), nullptr);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(wintest::WaitFor([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(owner.canvas.CurrentTool().foregroundNone, 0) << "cancel keeps the colour";
}

TEST(CanvasAnnotation, OwnerLayerStrokesEraseAndClear)
{
    Side owner(kCanvasAnnotation);
    ASSERT_EQ(owner.canvas.StartAnnotationThread(kCanvasAnnotationOwner), 1);
    HWND drawing = owner.canvas.DrawingWindow();
    const LONG_PTR ex = GetWindowLongPtrW(drawing, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_LAYERED);
    EXPECT_TRUE(ex & WS_EX_TRANSPARENT) << "click-through while Select is chosen";
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    HWND catcher = owner.canvas.CatcherWindow();
    ASSERT_NE(catcher, nullptr);
    EXPECT_FALSE(IsWindowVisible(catcher));
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(catcher, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 1);
    HWND bar = owner.canvas.ToolbarWindow();
    EXPECT_EQ(wintest::Text(bar), L"Paint Toolbar");
    RECT rc = {};
    GetWindowRect(bar, &rc);
    EXPECT_EQ(rc.left, 10);
    EXPECT_EQ(rc.top, 10);
    // Every top-level window is one of the program's own.
    const std::vector<HWND> own = AppWindowList();
    for (HWND w : {drawing, catcher, bar, owner.canvas.TextWindow()})
        EXPECT_NE(std::find(own.begin(), own.end(), w), own.end());
    // A second opening changes nothing.
    EXPECT_EQ(owner.canvas.StartAnnotationThread(kCanvasAnnotationOwner), 1);
    EXPECT_EQ(owner.canvas.DrawingWindow(), drawing);

    // The layer starts fully transparent, at the screen's size.
    auto layer = owner.canvas.GetLayerBitmap();
    ASSERT_TRUE(layer);
    EXPECT_EQ(layer->width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(layer->height, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_TRUE(std::all_of(layer->pixels.begin(), layer->pixels.end(), [](uint32_t p) { return p == 0; }));

    ChooseTool(owner, kToolPen);
    EXPECT_FALSE(GetWindowLongPtrW(drawing, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    EXPECT_TRUE(IsWindowVisible(catcher));
    Drag(owner, {{100, 100}, {200, 100}, {300, 110}});
    EXPECT_EQ(PixelAt(owner.canvas, 150, 100), 0xFF000000u) << "opaque black, premultiplied";
    EXPECT_EQ(PixelAt(owner.canvas, 150, 140), 0u);
    // The highlighter's half-transparent red is stored premultiplied.
    ChooseTool(owner, kToolHighlighter);
    Drag(owner, {{100, 300}, {200, 300}});
    const uint32_t marker = PixelAt(owner.canvas, 150, 300);
    EXPECT_NEAR(static_cast<int>(marker >> 24), 128, 1) << std::hex << marker;
    EXPECT_NEAR(static_cast<int>((marker >> 16) & 0xFF), static_cast<int>(marker >> 24), 1) << std::hex << marker;
    EXPECT_EQ(marker & 0xFFFF, 0u) << std::hex << marker;

    // What the eraser touches ends fully transparent.
    ChooseTool(owner, kToolEraser);
    Drag(owner, {{150, 80}, {150, 120}});
    EXPECT_EQ(PixelAt(owner.canvas, 150, 100), 0u);
    EXPECT_EQ(PixelAt(owner.canvas, 250, 105), 0xFF000000u) << "only where it passed";

    // "Clear All Contents" makes every pixel transparent.
    SendMessageW(bar, WM_COMMAND, IDC_CANVAS_CLEAR_ALL, 0);
    layer = owner.canvas.GetLayerBitmap();
    EXPECT_TRUE(std::all_of(layer->pixels.begin(), layer->pixels.end(), [](uint32_t p) { return p == 0; }));
    EXPECT_TRUE(owner.context.HasPrefix(Control("CEMA:", 2, 0, 0, 0, 0)));

    // Back to Select: the desktop takes the mouse again.
    ChooseTool(owner, kToolSelect);
    EXPECT_TRUE(GetWindowLongPtrW(drawing, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    EXPECT_FALSE(IsWindowVisible(catcher));

    // A state request is answered with the screen's size.
    owner.context.Clear();
    owner.canvas.ApplyMessage(Control("EVBH:", 5, 0, 0, 0, 0).c_str());
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.context.Count() == 1; }));
    EXPECT_EQ(owner.context.Sent()[0],
              Control("CEMA:", 4, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 0, 0));

    // Losing the host role ends the owner's canvas with control 1.
    owner.context.Clear();
    owner.canvas.QuitWhiteboard();
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.canvas.Kind() == kCanvasClosed; }));
    EXPECT_EQ(owner.context.Sent().at(0), Control("CEMA:", 1, 0, 0, 0, 0));
    EXPECT_EQ(owner.canvas.GetLayerBitmap(), nullptr);
}

TEST(CanvasAnnotation, ViewerReplaysTheOwnersLayerAndRepaints)
{
    Side owner(kCanvasAnnotation), viewer(kCanvasAnnotation);
    // Nothing open: a state request gets no answer.
    owner.canvas.ApplyMessage(Control("EVBH:", 5, 0, 0, 0, 0).c_str());
    wintest::PumpFor(200);
    EXPECT_EQ(owner.context.Count(), 0u);

    ASSERT_EQ(owner.canvas.StartAnnotationThread(kCanvasAnnotationOwner), 1);
    // The owner's answer to a joining participant opens the viewer.
    owner.canvas.ApplyMessage(Control("EVBH:", 5, 0, 0, 0, 0).c_str());
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.context.HasPrefix("CEMA:4"); }));
    owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_EQ(viewer.canvas.Kind(), kCanvasAnnotationViewer);
    RECT rc = {};
    GetWindowRect(viewer.canvas.DrawingWindow(), &rc);
    EXPECT_EQ(rc.left, -10000);
    EXPECT_EQ(rc.top, -10000);
    EXPECT_EQ(viewer.canvas.CanvasWidth(), GetSystemMetrics(SM_CXSCREEN));

    owner.context.Clear();
    ChooseTool(owner, kToolPen);
    Drag(owner, {{40, 40}, {120, 90}, {200, 60}});
    ChooseTool(owner, kToolRectangle);
    Drag(owner, {{300, 300}, {360, 380}});
    ChooseTool(owner, kToolEraser);
    Drag(owner, {{80, 20}, {80, 120}});
    const int repaintsBefore = viewer.context.repaints;
    owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_TRUE(wintest::WaitFor([&] { return SameLayers(owner.canvas, viewer.canvas); }));
    EXPECT_GT(viewer.context.repaints, repaintsBefore) << "the sharing viewer is asked to repaint";
    EXPECT_TRUE(viewer.context.Sent().empty()) << "a viewer sends nothing";

    // The owner's close takes the viewer's layer away, with a last repaint.
    owner.context.Clear();
    owner.canvas.Close();
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.context.HasPrefix("CEMA:1"); }));
    const int repaints = viewer.context.repaints;
    owner.context.ForwardFrom(0, viewer.canvas);
    ASSERT_TRUE(wintest::WaitFor([&] { return viewer.canvas.Kind() == kCanvasClosed; }));
    EXPECT_EQ(viewer.canvas.GetLayerBitmap(), nullptr);
    EXPECT_GT(viewer.context.repaints, repaints);
}

TEST(CanvasAnnotation, ProbeFlagSilencesTheOwner)
{
    Side owner(kCanvasAnnotation);
    g_comProbeOk = 1;
    ASSERT_EQ(owner.canvas.StartAnnotationThread(kCanvasAnnotationOwner), 1);
    ChooseTool(owner, kToolPen);
    PostMessageW(owner.canvas.DrawingWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(owner.canvas.DrawingWindow(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(50, 50));
    PostMessageW(owner.canvas.DrawingWindow(), WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
    ASSERT_TRUE(wintest::WaitFor([&] { return PixelAt(owner.canvas, 30, 30) != 0; }));
    owner.canvas.Close();
    ASSERT_TRUE(wintest::WaitFor([&] { return owner.canvas.Kind() == kCanvasClosed; }));
    g_comProbeOk = 0;
    EXPECT_EQ(owner.context.Count(), 0u);
}

// Sizes from the network are held to 1-8192 before anything is made at
// them: a bad one leaves the canvas closed, never a failed allocation that
// later passes write through.
TEST(CanvasFaults, BadSizesFromTheNetworkOpenNothing)
{
    Side annotation(kCanvasAnnotation), board(kCanvasWhiteboard);
    for (int bad : {0, -5, 100000}) {
        annotation.canvas.ApplyMessage(Control("CEMA:", 4, bad, 600, 0, 0).c_str());
        annotation.canvas.ApplyMessage(Control("CEMA:", 4, 800, bad, 0, 0).c_str());
        board.canvas.ApplyMessage(Control("CEWB:", 3, 700, 480, bad, 1536).c_str());
        board.canvas.ApplyMessage(Control("CEWB:", 3, bad, 480, 2048, 1536).c_str());
        EXPECT_EQ(annotation.canvas.Kind(), kCanvasClosed) << bad;
        EXPECT_EQ(board.canvas.Kind(), kCanvasClosed) << bad;
    }
    // Shapes, texts and a clear for a closed canvas change nothing either.
    board.canvas.ApplyMessage("CEWB:2\r\nCtlCode---:0\r\nCtlCode---:0\r\nCtlCode---:0\r\nCtlCode---:0\r\n");
    board.canvas.ApplyMessage("MEWB:6\r\nTty-------:1\r\nPoint-----:0,0,99999999999,5\r\n");
    EXPECT_EQ(board.canvas.GetLayerBitmap(), nullptr);

    // An open viewer takes wild values from the network without harm.
    annotation.canvas.ApplyMessage(Control("CEMA:", 4, 640, 480, 0, 0).c_str());
    ASSERT_EQ(annotation.canvas.Kind(), kCanvasAnnotationViewer);
    for (const char* wild : {"MEMA:6\r\nTty-------:1\r\nWidth-----:2147483647\r\nPoint-----:-2147483648,5,2147483647,9\r\n",
                             "MEMA:6\r\nTty-------:3\r\nWidth-----:-40\r\nAlpha-----:9999\r\nPoint-----:1,1,5000000,5\r\n",
                             "TIMA:0\r\nPoint-----:10,10\r\nTextString:x\r\n",
                             "CEMA:0\r\nCtlCode---:0\r\nCtlCode---:99\r\nCtlCode---:0\r\nCtlCode---:0\r\n",
                             "CEMA:12\r\nCtlCode---:-999999\r\nCtlCode---:0\r\nCtlCode---:0\r\nCtlCode---:0\r\n",
                             "MEMA:1\r\nTty-------:6\r\nFontFamily:" "\xff\xfe\xfd" "\r\nPoint-----:1,1,2,2\r\n"})
        annotation.canvas.ApplyMessage(wild);
    ASSERT_TRUE(wintest::WaitFor([&] { return annotation.canvas.GetLayerBitmap() != nullptr; }));
    annotation.canvas.ApplyMessage(Control("CEMA:", 1, 0, 0, 0, 0).c_str());
    ASSERT_TRUE(wintest::WaitFor([&] { return annotation.canvas.Kind() == kCanvasClosed; }));
}

// A canvas thread that cannot make its windows (here a viewer whiteboard
// that has no canvas width) still ends its starter's wait at once, so a
// receive thread that opened it goes on reading.
TEST(CanvasFaults, AThreadThatCannotOpenEndsTheWaitAtOnce)
{
    Side board(kCanvasWhiteboard);
    const DWORD start = GetTickCount();
    EXPECT_EQ(board.canvas.StartWhiteboardThread(kCanvasWhiteboardViewer), 0);
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_EQ(board.canvas.Kind(), kCanvasClosed);
    EXPECT_EQ(board.canvas.FrameWindow(), nullptr);
    EXPECT_EQ(board.canvas.GetLayerBitmap(), nullptr);
    // A later, sound opening works.
    board.canvas.ApplyMessage(Control("CEWB:", 3, 700, 480, 2048, 1536).c_str());
    EXPECT_EQ(board.canvas.Kind(), kCanvasWhiteboardViewer);
}

// Both receive threads apply messages while the sharing viewer copies the
// layer: every message is drawn on the canvas's own thread, one at a time,
// so the layer ends as one thread's replay of the same steps makes it.
TEST(CanvasFaults, MessagesFromTwoReceiveThreadsAreDrawnOnTheCanvasThread)
{
    Side viewer(kCanvasAnnotation), reference(kCanvasAnnotation);
    const std::string open = Control("CEMA:", 4, 800, 600, 0, 0);
    viewer.canvas.ApplyMessage(open.c_str());
    reference.canvas.ApplyMessage(open.c_str());
    ASSERT_EQ(viewer.canvas.Kind(), kCanvasAnnotationViewer);
    // The same half-transparent segment again and again: any order of the
    // same steps gives one picture.
    const std::string segment = "MEMA:6\r\nPoint-----:100,100,700,500\r\nTty-------:2\r\nWidth-----:30\r\n"
                                "Alpha-----:60\r\nFrgclr----:255\r\nBkgclr----:-1\r\n";
    const std::string release = "MEMA:1\r\nPoint-----:700,500,700,500\r\nTty-------:2\r\n";
    constexpr int kEach = 150;
    auto burst = [&] {
        for (int i = 0; i < kEach; ++i)
            viewer.canvas.ApplyMessage(segment.c_str());
    };
    std::thread control(burst), canvas(burst);
    for (int i = 0; i < 30; ++i)
        viewer.canvas.GetLayerBitmap();
    control.join();
    canvas.join();
    viewer.canvas.ApplyMessage(release.c_str());
    for (int i = 0; i < 2 * kEach; ++i)
        reference.canvas.ApplyMessage(segment.c_str());
    reference.canvas.ApplyMessage(release.c_str());
    ASSERT_TRUE(wintest::WaitFor([&] { return PixelAt(viewer.canvas, 400, 300) != 0; }));
    ASSERT_TRUE(wintest::WaitFor([&] { return SameLayers(viewer.canvas, reference.canvas); }, 30000))
        << DiffBox(viewer.canvas, reference.canvas);
}
