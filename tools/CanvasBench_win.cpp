// Times the canvas under Wine: not a test, a report (run on a display).
//   preview   one shape preview step on a 2048 x 1536 whiteboard layer (layer
//             A copied into layer B and a rectangle drawn) against one memcpy
//             of a layer, in the same run;
//   replay    10,000 pen segments applied from received messages on a viewer
//             whiteboard against the owner drawing the same segments from
//             its own pointer input.
// Prints ms for each and the ratios (median of the rounds).
#include "core/base/GdiplusSession_win.h"
#include "core/base/tests/QuietMeetingContext.h"
#include "meeting/CCanvas.h"
#include "meeting/CanvasLayer_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

double NowMs()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Keeps what the owner sends, for the viewer to replay.
class Recorder : public QuietMeetingContext {
public:
    bool SendCanvasMessage(std::string_view text) override
    {
        std::lock_guard<std::mutex> l(lock);
        sent.emplace_back(text);
        return true;
    }

    std::mutex lock;
    std::vector<std::string> sent;
};

void Preview(int rounds)
{
    GdiplusSession gdiplus;
    CanvasLayer a, b;
    if (!a.Create(2048, 1536, 0xFFFFFFFF) || !b.Create(2048, 1536, 0xFFFFFFFF))
        return void(std::printf("preview: the layers could not be made\n"));
    std::vector<uint32_t> copy(a.PixelCount());
    std::vector<double> memcpyMs, previewMs, copyMs;
    for (int r = 0; r < rounds; ++r) {
        double t = NowMs();
        std::memcpy(copy.data(), a.Pixels(), copy.size() * sizeof(uint32_t));
        memcpyMs.push_back(NowMs() - t);
        t = NowMs();
        b.CopyFrom(a);
        {
            Gdiplus::Graphics g(b.Image());
            g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
            Gdiplus::Pen pen(Gdiplus::Color(255, 0, 0, 0), 5);
            g.DrawRectangle(&pen, Gdiplus::Rect(100 + r % 50, 100, 600, 400));
        }
        previewMs.push_back(NowMs() - t);
        t = NowMs();
        b.CopyFrom(a);
        copyMs.push_back(NowMs() - t);
    }
    const double m = Median(memcpyMs), p = Median(previewMs);
    std::printf("preview: memcpy %.3f ms, preview step %.3f ms, ratio %.2f (of which the layer copy %.3f ms)\n", m,
                p, p / m, Median(copyMs));
}

// The owner draws `segments` pen segments from posted pointer input; the
// time ends when it has sent the release.
double OwnerDraws(CCanvas& owner, Recorder& rec, int segments)
{
    HWND w = owner.DrawingWindow();
    SendMessageW(owner.ToolbarWindow(), WM_COMMAND, 8521 + kToolPen, 0);
    const double t = NowMs();
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    for (int i = 1; i <= segments; ++i)
        PostMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10 + (i * 7) % 600, 10 + (i * 13) % 400));
    PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    for (;;) {
        {
            std::lock_guard<std::mutex> l(rec.lock);
            if (!rec.sent.empty() && rec.sent.back().compare(0, 7, "MEWB:1\r") == 0)
                break;
        }
        Sleep(1);
    }
    return NowMs() - t;
}

bool SameLayers(CCanvas& a, CCanvas& b)
{
    auto la = a.GetLayerBitmap();
    auto lb = b.GetLayerBitmap();
    return la && lb && la->pixels == lb->pixels;
}

void Replay(int segments)
{
    Recorder ownerRec, viewerRec;
    CCanvas owner(kCanvasWhiteboard), viewer(kCanvasWhiteboard);
    CCanvasMessager ownerMessager(&owner, &ownerRec), viewerMessager(&viewer, &viewerRec);
    if (!owner.StartWhiteboardThread(kCanvasWhiteboardOwner))
        return void(std::printf("replay: no whiteboard\n"));
    const double ownerMs = OwnerDraws(owner, ownerRec, segments);
    std::vector<std::string> sent;
    {
        std::lock_guard<std::mutex> l(ownerRec.lock);
        sent = ownerRec.sent;
    }
    viewer.ApplyMessage(sent.front().c_str()); // the open
    const double t = NowMs();
    for (size_t i = 1; i < sent.size(); ++i)
        viewer.ApplyMessage(sent[i].c_str());
    while (!SameLayers(owner, viewer))
        Sleep(2);
    const double viewerMs = NowMs() - t;
    std::printf("replay: %d segments, owner from input %.1f ms, viewer from messages %.1f ms, ratio %.2f\n",
                segments, ownerMs, viewerMs, viewerMs / ownerMs);
    owner.Shutdown();
    viewer.Shutdown();
}

} // namespace

int wmain()
{
    Preview(41);
    Replay(10000);
    return 0;
}
