// Times the viewer's painting under Wine (scripts/bench viewer): a 1920x1080
// 32-bit frame into a 1280x720 window at true size, at fit to window and at
// 50 %, against a plain BitBlt of the same memory (a DIB section in a memory
// DC) in the same run, two ways:
//   PaintCall/...    the GDI calls the viewer paints with, from memory in
//                    WM_PAINT: SetDIBitsToDevice; StretchDIBits with HALFTONE
//                    (and with COLORONCOLOR for comparison); 50 % with the
//                    black margin;
//   ViewerWindow/... the viewer window itself (TechnicianGUI with its
//                    ClientConnection), fed the same frame by a scripted host
//                    over a loopback channel, zoomed with its 0x465 message.
// Each paint is counted until the screen has it: the paint, the window
// surface's flush and a read back from the screen.
//
// Usage: corvisk_viewer_paint_bench [--rounds N] [--paints N] [--json FILE]
//   Prints ms per paint and the ratio to BitBlt (median of the rounds; the
//   variants take turns within each round); FILE (a Windows path) gets the
//   same in Google Benchmark's JSON shape for scripts/lib/bench_report.py.
#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/TechnicianGUI.h"
#include "core/base/TopDownBitmap_win.h"
#include "core/tunnel/LocalChannels_win.h"
#include "tools/BenchCount.h"
#include "tools/BenchJson_win.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kFrameW = 1920, kFrameH = 1080;
constexpr int kWindowW = 1280, kWindowH = 720;

enum class Variant {
    PlainBitBlt,
    TrueSize,
    FitHalftone,
    FitColorOnColor,
    HalfHalftone,
    WindowTrueSize,
    WindowFit,
    WindowHalf
};

struct VariantInfo {
    Variant v;
    const char* name;
};
const VariantInfo kVariants[] = {
    {Variant::PlainBitBlt, "PlainBitBlt"},
    {Variant::TrueSize, "PaintCall/TrueSize"},
    {Variant::FitHalftone, "PaintCall/FitHalftone"},
    {Variant::FitColorOnColor, "PaintCall/FitColorOnColor"},
    {Variant::HalfHalftone, "PaintCall/HalfHalftone"},
    {Variant::WindowTrueSize, "ViewerWindow/TrueSize"},
    {Variant::WindowFit, "ViewerWindow/Fit"},
    {Variant::WindowHalf, "ViewerWindow/Half"},
};

bool IsWindowVariant(Variant v)
{
    return v == Variant::WindowTrueSize || v == Variant::WindowFit || v == Variant::WindowHalf;
}

// A desktop-like frame: a gradient background, flat windows with text-like
// stripes and a photo-like noisy area.
void DrawFrame(uint32_t* px)
{
    uint32_t seed = 12345;
    for (int y = 0; y < kFrameH; ++y)
        for (int x = 0; x < kFrameW; ++x) {
            uint32_t c = (static_cast<uint32_t>(x * 255 / kFrameW) << 16) | (static_cast<uint32_t>(y * 255 / kFrameH) << 8) | 0x60;
            if (x > 200 && x < 1100 && y > 150 && y < 800)
                c = (y % 18 < 12 && (x / 7) % 9 != 0) ? 0x00F0F0F0 : 0x00202020;
            if (x > 1200 && x < 1800 && y > 300 && y < 900) {
                seed = seed * 1103515245u + 12345u;
                c = (seed >> 8) & 0x00FFFFFF;
            }
            px[static_cast<size_t>(y) * kFrameW + x] = c;
        }
}

struct Bench {
    HWND hwnd = nullptr;
    HDC memDc = nullptr;
    HBITMAP dib = nullptr;
    uint32_t* pixels = nullptr;
    BITMAPINFO bi{};
    Variant current = Variant::PlainBitBlt;

    void Paint(HDC dc)
    {
        switch (current) {
        case Variant::PlainBitBlt:
            BitBlt(dc, 0, 0, kWindowW, kWindowH, memDc, 0, 0, SRCCOPY);
            break;
        case Variant::TrueSize:
            // The top-left 1280x720 of the frame (rows counted from the
            // bottom for a top-down DIB's start scan).
            SetDIBitsToDevice(dc, 0, 0, kWindowW, kWindowH, 0, kFrameH - kWindowH, 0, kFrameH, pixels, &bi,
                              DIB_RGB_COLORS);
            break;
        case Variant::FitHalftone:
        case Variant::FitColorOnColor:
            SetStretchBltMode(dc, current == Variant::FitHalftone ? HALFTONE : COLORONCOLOR);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchDIBits(dc, 0, 0, kWindowW, kWindowH, 0, 0, kFrameW, kFrameH, pixels, &bi, DIB_RGB_COLORS, SRCCOPY);
            break;
        case Variant::HalfHalftone: {
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchDIBits(dc, 0, 0, kFrameW / 2, kFrameH / 2, 0, 0, kFrameW, kFrameH, pixels, &bi, DIB_RGB_COLORS,
                          SRCCOPY);
            const HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
            RECT right{kFrameW / 2, 0, kWindowW, kWindowH}, below{0, kFrameH / 2, kFrameW / 2, kWindowH};
            FillRect(dc, &right, black);
            FillRect(dc, &below, black);
            break;
        }
        default:
            break;
        }
    }
};

void Pump()
{
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&m);
}

// The viewer window on a loopback channel, fed the frame once by a scripted
// host: the start reply (the frame's size, 32-bit little-endian 0x00RRGGBB,
// which the viewer keeps at colour depth 0), then the whole frame as one Raw
// rectangle; what the viewer sends is read and dropped.
class ScriptedViewer {
public:
    ~ScriptedViewer()
    {
        m_stop = true;
        if (m_gui && m_gui->m_hwndFrame)
            DestroyWindow(m_gui->m_hwndFrame);
        if (m_gui && m_gui->m_conn)
            m_gui->m_conn->m_active = 0;
        m_gui.reset();
        m_channels.ShutdownAll();
        if (m_host.joinable())
            m_host.join();
        m_channels.Close();
    }

    // Opens the session and waits until the viewer has the frame.
    const char* Open(const uint32_t* frame)
    {
        if (!m_channels.StartListener(0) || !m_channels.CreateChannels(1))
            return "no loopback channel";
        const SOCKET host = m_channels.AcceptedEnd(LocalChannel::Sharing);
        m_host = std::thread([this, host, frame] { PlayHost(host, frame); });
        m_gui = std::make_unique<TechnicianGUI>(nullptr, nullptr);
        try {
            m_gui->CreateWindows();
        } catch (const std::exception&) {
            return "no viewer windows";
        }
        auto* conn = new ClientConnection(nullptr, m_channels.ClientEnd(LocalChannel::Sharing));
        // The GUI hands its options to the connection: the host's own format, true size.
        m_gui->Options().colourDepth = 0;
        m_gui->AttachConnection(conn);
        conn->Scale().setFitToWindow(false);
        if (conn->Run() != 1)
            return "the viewer did not open";
        SetWindowPos(m_gui->m_hwndFrame, HWND_TOP, 0, 0, kWindowW, kWindowH, SWP_SHOWWINDOW);
        const DWORD end = GetTickCount() + 30000;
        while (!HasFrame(frame)) {
            if (static_cast<int>(end - GetTickCount()) <= 0)
                return "the frame did not arrive";
            Pump();
            Sleep(10);
        }
        // The viewer window's client area at 1280 x 720.
        for (int i = 0; i < 3; ++i) {
            RECT client, outer;
            GetClientRect(m_gui->m_hwndViewer, &client);
            GetWindowRect(m_gui->m_hwndFrame, &outer);
            SetWindowPos(m_gui->m_hwndFrame, HWND_TOP, 0, 0, outer.right - outer.left + kWindowW - client.right,
                         outer.bottom - outer.top + kWindowH - client.bottom, SWP_SHOWWINDOW);
            Pump();
        }
        return nullptr;
    }

    HWND window() const { return m_gui->m_hwndViewer; }
    HWND frame() const { return m_gui->m_hwndFrame; }
    bool Zoom(Variant v)
    {
        const WPARAM num = v == Variant::WindowFit ? kWindowW : v == Variant::WindowHalf ? 50 : 100;
        const LPARAM den = v == Variant::WindowFit ? kFrameW : 100;
        const bool ok = SendMessageW(window(), WM_VIEWER_SET_SCALE, num, den) == 1;
        UpdateWindow(window());
        Pump();
        return ok;
    }

private:
    bool HasFrame(const uint32_t* frame)
    {
        decode::Framebuffer* fb = m_gui->m_conn->Framebuffer();
        if (!fb || fb->width() != kFrameW || fb->height() != kFrameH)
            return false;
        const decode::Framebuffer::View v = fb->view();
        for (const POINT p : {POINT{0, 0}, POINT{kFrameW / 2, kFrameH / 2}, POINT{kFrameW - 1, kFrameH - 1}})
            if ((v.pixel(p.x, p.y) & 0xFFFFFF) != frame[static_cast<size_t>(p.y) * kFrameW + p.x])
                return false;
        return true;
    }

    static bool SendAll(SOCKET s, const void* data, size_t n)
    {
        const char* p = static_cast<const char*>(data);
        while (n > 0) {
            const int sent = send(s, p, static_cast<int>(std::min<size_t>(n, 1 << 20)), 0);
            if (sent <= 0)
                return false;
            p += sent;
            n -= static_cast<size_t>(sent);
        }
        return true;
    }

    void PlayHost(SOCKET s, const uint32_t* frame)
    {
        uint8_t request[2];
        if (recv(s, reinterpret_cast<char*>(request), 2, MSG_WAITALL) != 2)
            return;
        const uint8_t reply[28] = {73, 1, kFrameW >> 8, kFrameW & 0xFF, kFrameH >> 8, kFrameH & 0xFF,
                                   32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0};
        const uint8_t update[16] = {0, 0, 0, 1, 0, 0, 0, 0, kFrameW >> 8, kFrameW & 0xFF, kFrameH >> 8, kFrameH & 0xFF,
                                    0, 0, 0, 0};
        if (!SendAll(s, reply, sizeof reply) || !SendAll(s, update, sizeof update) ||
            !SendAll(s, frame, static_cast<size_t>(kFrameW) * kFrameH * 4))
            return;
        char sink[4096];
        while (!m_stop && recv(s, sink, sizeof sink, 0) > 0) {
        }
    }

    LocalChannels m_channels;
    std::unique_ptr<TechnicianGUI> m_gui;
    std::thread m_host;
    std::atomic<bool> m_stop{false};
};

Bench* g_bench = nullptr;

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT && g_bench) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        g_bench->Paint(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (msg == WM_ERASEBKGND)
        return 1;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

double NowMs()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

// ms per paint of `paints` paints of one variant, each until the screen has it.
double TimePaints(Bench& b, ScriptedViewer& viewer, Variant v, int paints, HDC screen)
{
    HWND target = b.hwnd;
    if (IsWindowVariant(v)) {
        target = viewer.window();
        viewer.Zoom(v);
    } else {
        b.current = v;
    }
    const double start = NowMs();
    for (int i = 0; i < paints; ++i) {
        InvalidateRect(target, nullptr, FALSE);
        UpdateWindow(target);
        GdiFlush();
        Pump();
        GetPixel(screen, kWindowW - 1 - i % 7, kWindowH - 1);
    }
    return (NowMs() - start) / paints;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int rounds = 5, paints = 40;
    const wchar_t* json = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (more && std::wcscmp(argv[i], L"--rounds") == 0 && ReadBenchCount(argv[i + 1], 10000, rounds))
            ++i;
        else if (more && std::wcscmp(argv[i], L"--paints") == 0 && ReadBenchCount(argv[i + 1], 10000, paints))
            ++i;
        else if (more && std::wcscmp(argv[i], L"--json") == 0)
            json = argv[++i];
        else {
            std::fprintf(stderr, "usage: corvisk_viewer_paint_bench [--rounds 1-10000] [--paints 1-10000] [--json FILE]\n");
            return 2;
        }
    }

    Bench b;
    b.bi = TopDownBitmapInfo(kFrameW, kFrameH);
    void* bits = nullptr;
    b.dib = CreateDIBSection(nullptr, &b.bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    b.memDc = CreateCompatibleDC(nullptr);
    if (!b.dib || !bits || !b.memDc) {
        std::fprintf(stderr, "corvisk_viewer_paint_bench: the frame could not be made\n");
        return 1;
    }
    b.pixels = static_cast<uint32_t*>(bits);
    DrawFrame(b.pixels);
    const HGDIOBJ oldBitmap = SelectObject(b.memDc, b.dib);

    WNDCLASSW wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CorviskPaintBench";
    RegisterClassW(&wc);
    b.hwnd = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, kWindowW, kWindowH,
                             nullptr, nullptr, wc.hInstance, nullptr);
    if (!b.hwnd) {
        std::fprintf(stderr, "corvisk_viewer_paint_bench: no window (is there a display?)\n");
        return 1;
    }
    g_bench = &b;
    Pump();
    ScriptedViewer viewer;
    if (const char* why = viewer.Open(b.pixels)) {
        std::fprintf(stderr, "corvisk_viewer_paint_bench: %s\n", why);
        return 1;
    }
    HDC screen = GetDC(nullptr);
    // Each window is timed with nothing over it: the bench's own window is
    // hidden while the viewer's paints.
    std::vector<std::string> clientSizes(std::size(kVariants));
    auto timeOne = [&](size_t i, int n) {
        const Variant v = kVariants[i].v;
        ShowWindow(b.hwnd, IsWindowVariant(v) ? SW_HIDE : SW_SHOWNA);
        Pump();
        const double ms = TimePaints(b, viewer, v, n, screen);
        if (IsWindowVariant(v)) {
            // The viewer's scroll bars come and go with the zoom.
            RECT client;
            GetClientRect(viewer.window(), &client);
            clientSizes[i] = "client " + std::to_string(client.right) + " x " + std::to_string(client.bottom);
        }
        return ms;
    };
    for (size_t i = 0; i < std::size(kVariants); ++i)
        timeOne(i, 5);  // warm-up

    std::vector<std::vector<double>> perRound(std::size(kVariants));
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < std::size(kVariants); ++i)
            perRound[i].push_back(timeOne(i, paints));
    ReleaseDC(nullptr, screen);
    std::vector<double> ms;
    for (const auto& r : perRound)
        ms.push_back(Median(r));

    std::printf("Painting a %dx%d frame into a %dx%d window under Wine: median of %d rounds of %d paints\n", kFrameW,
                kFrameH, kWindowW, kWindowH, rounds, paints);
    std::printf("  %-30s %10s %14s\n", "variant", "ms/paint", "time / BitBlt");
    for (size_t i = 0; i < ms.size(); ++i)
        std::printf("  %-30s %10.3f %14.2f   %s\n", kVariants[i].name, ms[i], ms[i] / ms[0], clientSizes[i].c_str());

    g_bench = nullptr;
    DestroyWindow(b.hwnd);
    SelectObject(b.memDc, oldBitmap);
    DeleteDC(b.memDc);
    DeleteObject(b.dib);
    std::vector<BenchRow> rows;
    for (size_t i = 0; i < ms.size(); ++i)
        rows.push_back({kVariants[i].name, ms[i], rounds * paints, ""});
    if (json && !WriteBenchJson(json, "corvisk_viewer_paint_bench", "wall time per paint under Wine on Xvfb", rows)) {
        std::fprintf(stderr, "corvisk_viewer_paint_bench: the results could not be written\n");
        return 1;
    }
    return 0;
}
