// Benchmarks: region operations on 1,000 and 10,000 rectangles (ours and
// libX11's on the same sets), and translating a 1920x1080 frame against a
// plain memcpy of the same frame.
#include "rfb/Region.h"
#include "rfb/Translate.h"
#include "rfb/tests/TestFormats.h"

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using testformats::TrueColour;

std::vector<rfb::Rect> randomRects(int n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<rfb::Rect> v;
    for (int i = 0; i < n; ++i) {
        const int x = static_cast<int>(rng() % 1900), y = static_cast<int>(rng() % 1060);
        v.emplace_back(x, y, x + 1 + static_cast<int>(rng() % 64), y + 1 + static_cast<int>(rng() % 32));
    }
    return v;
}

rfb::Region ours(const std::vector<rfb::Rect>& rects)
{
    rfb::Region r;
    for (const auto& x : rects)
        r.assign_union(rfb::Region(x));
    return r;
}

::Region theirs(const std::vector<rfb::Rect>& rects)
{
    ::Region r = XCreateRegion();
    for (const auto& x : rects) {
        XRectangle xr{static_cast<short>(x.left), static_cast<short>(x.top), static_cast<unsigned short>(x.width()),
                      static_cast<unsigned short>(x.height())};
        XUnionRectWithRegion(&xr, r, r);
    }
    return r;
}

void BM_RegionBuild(benchmark::State& state)
{
    const auto rects = randomRects(static_cast<int>(state.range(0)), 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(ours(rects));
}

void BM_X11RegionBuild(benchmark::State& state)
{
    const auto rects = randomRects(static_cast<int>(state.range(0)), 1);
    for (auto _ : state) {
        ::Region r = theirs(rects);
        benchmark::DoNotOptimize(r);
        XDestroyRegion(r);
    }
}

enum Op { Union, Intersect, Subtract };

template <Op op>
void BM_RegionOp(benchmark::State& state)
{
    const rfb::Region a = ours(randomRects(static_cast<int>(state.range(0)), 2));
    const rfb::Region b = ours(randomRects(static_cast<int>(state.range(0)), 3));
    for (auto _ : state) {
        rfb::Region r = op == Union ? a.union_(b) : op == Intersect ? a.intersect(b) : a.subtract(b);
        benchmark::DoNotOptimize(r);
    }
    state.counters["rects_in"] = static_cast<double>(a.numRects() + b.numRects());
}

template <Op op>
void BM_X11RegionOp(benchmark::State& state)
{
    ::Region a = theirs(randomRects(static_cast<int>(state.range(0)), 2));
    ::Region b = theirs(randomRects(static_cast<int>(state.range(0)), 3));
    ::Region r = XCreateRegion();
    for (auto _ : state) {
        if (op == Union)
            XUnionRegion(a, b, r);
        else if (op == Intersect)
            XIntersectRegion(a, b, r);
        else
            XSubtractRegion(a, b, r);
        benchmark::DoNotOptimize(r);
    }
    XDestroyRegion(r);
    XDestroyRegion(a);
    XDestroyRegion(b);
}

BENCHMARK(BM_RegionBuild)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_X11RegionBuild)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_RegionOp, Union)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_X11RegionOp, Union)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_RegionOp, Intersect)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_X11RegionOp, Intersect)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_RegionOp, Subtract)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_X11RegionOp, Subtract)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

constexpr int kW = 1920, kH = 1080;

std::vector<uint8_t> frame(int bytesPerPixel)
{
    std::vector<uint8_t> f(static_cast<size_t>(kW) * kH * bytesPerPixel);
    std::mt19937 rng(4);
    for (auto& b : f)
        b = static_cast<uint8_t>(rng());
    return f;
}

void BM_FrameMemcpy32(benchmark::State& state)
{
    const auto src = frame(4);
    std::vector<uint8_t> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}

template <class OUT>
void translateFrame(benchmark::State& state, const rfb::PixelFormat& in, const rfb::PixelFormat& out, bool single)
{
    const auto src = frame(in.bytesPerPixel());
    std::vector<uint8_t> dst(static_cast<size_t>(kW) * kH * out.bytesPerPixel());
    std::vector<OUT> table;
    const bool built = single ? rfb::InitTrueColourSingleTable(table, in, out) : rfb::InitTrueColourRGBTables(table, in, out);
    const rfb::TranslateFn fn = single ? rfb::SingleTableTranslator(in.bitsPerPixel, out.bitsPerPixel)
                                       : rfb::RGBTablesTranslator(in.bitsPerPixel, out.bitsPerPixel);
    if (!built || !fn) {
        state.SkipWithError("no translation");
        return;
    }
    for (auto _ : state) {
        rfb::TranslateRect(fn, table.data(), in, out, src.data(), src.size(),
                           static_cast<size_t>(kW * in.bytesPerPixel()), dst.data(), dst.size(), kW, kH);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}

const rfb::PixelFormat kHost32 = TrueColour(32, 255, 255, 255, 16, 8, 0);

void BM_Translate32to32BigEndian(benchmark::State& state)
{
    translateFrame<uint32_t>(state, kHost32, TrueColour(32, 255, 255, 255, 16, 8, 0, true), false);
}
void BM_Translate32to16(benchmark::State& state)
{
    translateFrame<uint16_t>(state, kHost32, TrueColour(16, 31, 63, 31, 11, 5, 0), false);
}
void BM_Translate32to8(benchmark::State& state)
{
    translateFrame<uint8_t>(state, kHost32, rfb::BGR233Format(), false);
}
void BM_Translate16to32Single(benchmark::State& state)
{
    translateFrame<uint32_t>(state, TrueColour(16, 31, 63, 31, 11, 5, 0), kHost32, true);
}

BENCHMARK(BM_FrameMemcpy32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Translate32to32BigEndian)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Translate32to16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Translate32to8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Translate16to32Single)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
