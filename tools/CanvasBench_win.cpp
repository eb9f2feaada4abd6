// Times the canvas under Wine: not a test, a report (scripts/bench canvas
// runs it on a private Xvfb).
//   preview   one shape preview step on a 2048 x 1536 whiteboard layer (layer
//             A copied into layer B where they differ and a rectangle drawn,
//             the canvas's own code) against one memcpy of a layer, in the
//             same run;
//   replay    10,000 pen segments applied from received messages on a viewer
//             whiteboard against the owner drawing the same segments from
//             its own pointer input.
// Prints ms for each and the ratios (median of the rounds).
// Usage: corvisk_canvas_bench [--rounds N] [--json FILE]
#include "core/base/GdiplusSession_win.h"
#include "core/base/tests/QuietMeetingContext.h"
#include "meeting/CCanvas.h"
#include "meeting/CanvasLayer_win.h"
#include "meeting/ShapePreview_win.h"
#include "tools/BenchCount.h"
#include "tools/BenchJson_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
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

struct Times {
    double memcpyMs = 0, previewMs = 0, wholeCopyMs = 0, ownerMs = 0, viewerMs = 0;
};

// A 600 x 400 rectangle dragged across the layer, as the canvas previews it
// on each pointer move; the same step after a copy of the whole layer (what
// the preview once did) for comparison.
bool Preview(int rounds, Times& out)
{
    GdiplusSession gdiplus;
    CanvasLayer a, b;
    if (!a.Create(2048, 1536, 0xFFFFFFFF) || !b.Create(2048, 1536, 0xFFFFFFFF))
        return std::printf("preview: the layers could not be made\n"), false;
    ShapePreview preview(a, b);
    preview.Reset();
    CTool rectangle;
    rectangle.SetType(kToolRectangle);
    std::vector<uint32_t> copy(a.PixelCount());
    std::vector<double> memcpyMs, previewMs, wholeMs;
    for (int r = 0; r < rounds; ++r) {
        const POINT from = {100 + r % 50, 100}, to = {700 + r % 50, 500};
        double t = NowMs();
        std::memcpy(copy.data(), a.Pixels(), copy.size() * sizeof(uint32_t));
        memcpyMs.push_back(NowMs() - t);
        t = NowMs();
        preview.Step(rectangle, from, to);
        previewMs.push_back(NowMs() - t);
        t = NowMs();
        b.CopyFrom(a);
        preview.Step(rectangle, to, from);
        wholeMs.push_back(NowMs() - t);
    }
    const double m = Median(memcpyMs), p = Median(previewMs), w = Median(wholeMs);
    std::printf("preview: memcpy %.3f ms, preview step %.3f ms, ratio %.2f (goal: 2 or less); with a copy of the "
                "whole layer first %.3f ms, ratio %.2f\n",
                m, p, p / m, w, w / m);
    out.memcpyMs = m;
    out.previewMs = p;
    out.wholeCopyMs = w;
    return true;
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

bool Replay(int segments, Times& out)
{
    Recorder ownerRec, viewerRec;
    CCanvas owner(kCanvasWhiteboard), viewer(kCanvasWhiteboard);
    CCanvasMessager ownerMessager(&owner, &ownerRec), viewerMessager(&viewer, &viewerRec);
    if (!owner.StartWhiteboardThread(kCanvasWhiteboardOwner))
        return std::printf("replay: no whiteboard\n"), false;
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
    out.ownerMs = ownerMs;
    out.viewerMs = viewerMs;
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int rounds = 41;
    const wchar_t* json = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (more && std::wcscmp(argv[i], L"--rounds") == 0 && ReadBenchCount(argv[i + 1], 10000, rounds))
            ++i;
        else if (more && std::wcscmp(argv[i], L"--json") == 0)
            json = argv[++i];
        else {
            std::fprintf(stderr, "usage: corvisk_canvas_bench [--rounds 1-10000] [--json FILE]\n");
            return 2;
        }
    }
    constexpr int kSegments = 10000;
    Times t;
    const bool ok = Preview(rounds, t) && Replay(kSegments, t);
    const std::vector<BenchRow> rows{
        {"canvas/PreviewStep", t.previewMs, rounds, ""},
        {"canvas/LayerMemcpy", t.memcpyMs, rounds, ""},
        {"canvas/PreviewStepAfterWholeCopy", t.wholeCopyMs, rounds, ""},
        {"canvas/ViewerReplay", t.viewerMs, kSegments, ""},
        {"canvas/OwnerInput", t.ownerMs, kSegments, ""},
    };
    if (json && !WriteBenchJson(json, "corvisk_canvas_bench", "wall time under Wine on Xvfb", rows)) {
        std::fprintf(stderr, "corvisk_canvas_bench: the results could not be written\n");
        return 1;
    }
    return ok ? 0 : 1;
}
