// Times the viewer's painting under Wine (scripts/bench viewer): a 1920x1080
// 32-bit frame into a 1280x720 window, the way the viewer window paints it
// (from memory, in WM_PAINT) at true size, at fit to window (StretchDIBits
// with HALFTONE, and with COLORONCOLOR for comparison) and at 50 % with the
// black margin, against a plain BitBlt of the same memory (a DIB section in a
// memory DC) in the same run. Each paint is counted until the screen has it:
// the paint, the window surface's flush and a read back from the screen.
//
// Usage: corvisk_viewer_paint_bench [--rounds N] [--paints N] [--json FILE]
//   Prints ms per paint and the ratio to BitBlt (median of the rounds; the
//   variants take turns within each round); FILE (a Windows path) gets the
//   same in Google Benchmark's JSON shape for scripts/lib/bench_report.py.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kFrameW = 1920, kFrameH = 1080;
constexpr int kWindowW = 1280, kWindowH = 720;

enum class Variant { PlainBitBlt, TrueSize, FitHalftone, FitColorOnColor, HalfHalftone };

struct VariantInfo {
    Variant v;
    const char* name;
};
const VariantInfo kVariants[] = {
    {Variant::PlainBitBlt, "PlainBitBlt"},
    {Variant::TrueSize, "ViewerPaint/TrueSize"},
    {Variant::FitHalftone, "ViewerPaint/FitHalftone"},
    {Variant::FitColorOnColor, "ViewerPaint/FitColorOnColor"},
    {Variant::HalfHalftone, "ViewerPaint/HalfHalftone"},
};

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
        }
    }
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

void Pump()
{
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&m);
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
double TimePaints(Bench& b, Variant v, int paints, HDC screen)
{
    b.current = v;
    const double start = NowMs();
    for (int i = 0; i < paints; ++i) {
        InvalidateRect(b.hwnd, nullptr, FALSE);
        UpdateWindow(b.hwnd);
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

bool ReadCount(const wchar_t* text, int& out)
{
    wchar_t* end = nullptr;
    const long v = std::wcstol(text, &end, 10);
    if (end == text || *end || v < 1 || v > 10000)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool WriteJson(const wchar_t* path, const std::vector<double>& ms, int rounds, int paints)
{
    FILE* f = _wfopen(path, L"w");
    if (!f)
        return false;
    std::fprintf(f, "{\n  \"context\": {\"executable\": \"corvisk_viewer_paint_bench\", \"note\": \"wall time per paint "
                    "under Wine on Xvfb\"},\n  \"benchmarks\": [\n");
    for (size_t i = 0; i < ms.size(); ++i)
        std::fprintf(f,
                     "    {\"name\": \"%s\", \"run_name\": \"%s\", \"run_type\": \"iteration\", \"iterations\": %d, "
                     "\"real_time\": %.6f, \"cpu_time\": %.6f, \"time_unit\": \"ms\"}%s\n",
                     kVariants[i].name, kVariants[i].name, rounds * paints, ms[i], ms[i],
                     i + 1 < ms.size() ? "," : "");
    std::fprintf(f, "  ]\n}\n");
    return std::fclose(f) == 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int rounds = 5, paints = 40;
    const wchar_t* json = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (more && std::wcscmp(argv[i], L"--rounds") == 0 && ReadCount(argv[i + 1], rounds))
            ++i;
        else if (more && std::wcscmp(argv[i], L"--paints") == 0 && ReadCount(argv[i + 1], paints))
            ++i;
        else if (more && std::wcscmp(argv[i], L"--json") == 0)
            json = argv[++i];
        else {
            std::fprintf(stderr, "usage: corvisk_viewer_paint_bench [--rounds 1-10000] [--paints 1-10000] [--json FILE]\n");
            return 2;
        }
    }

    Bench b;
    b.bi.bmiHeader.biSize = sizeof b.bi.bmiHeader;
    b.bi.bmiHeader.biWidth = kFrameW;
    b.bi.bmiHeader.biHeight = -kFrameH;
    b.bi.bmiHeader.biPlanes = 1;
    b.bi.bmiHeader.biBitCount = 32;
    b.bi.bmiHeader.biCompression = BI_RGB;
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
    HDC screen = GetDC(nullptr);
    for (const VariantInfo& v : kVariants)
        TimePaints(b, v.v, 5, screen);  // warm-up

    std::vector<std::vector<double>> perRound(std::size(kVariants));
    for (int r = 0; r < rounds; ++r)
        for (size_t i = 0; i < std::size(kVariants); ++i)
            perRound[i].push_back(TimePaints(b, kVariants[i].v, paints, screen));
    ReleaseDC(nullptr, screen);
    std::vector<double> ms;
    for (const auto& r : perRound)
        ms.push_back(Median(r));

    std::printf("Painting a %dx%d frame into a %dx%d window under Wine: median of %d rounds of %d paints\n", kFrameW,
                kFrameH, kWindowW, kWindowH, rounds, paints);
    std::printf("  %-30s %10s %14s\n", "variant", "ms/paint", "time / BitBlt");
    for (size_t i = 0; i < ms.size(); ++i)
        std::printf("  %-30s %10.3f %14.2f\n", kVariants[i].name, ms[i], ms[i] / ms[0]);

    g_bench = nullptr;
    DestroyWindow(b.hwnd);
    SelectObject(b.memDc, oldBitmap);
    DeleteDC(b.memDc);
    DeleteObject(b.dib);
    if (json && !WriteJson(json, ms, rounds, paints)) {
        std::fprintf(stderr, "corvisk_viewer_paint_bench: the results could not be written\n");
        return 1;
    }
    return 0;
}
