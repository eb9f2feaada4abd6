// Benchmarks: region operations on 1,000 and 10,000 rectangles (ours and
// libX11's on the same sets, each side building into one result region kept
// across iterations), and translating a 1920x1080 frame against a plain
// memcpy of a 32-bit frame (translation checks that each call succeeded).
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

// Like XUnionRectWithRegion below, each rectangle joins through one
// one-rectangle region rather than a new one per rectangle.
rfb::Region ours(const std::vector<rfb::Rect>& rects)
{
    rfb::Region r, one;
    for (const auto& x : rects) {
        one.reset(x);
        r.assign_union(one);
    }
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

// Both sides keep one result region across iterations: each iteration copies
// a into it, then combines it with b in place.
template <Op op>
void BM_RegionOp(benchmark::State& state)
{
    const rfb::Region a = ours(randomRects(static_cast<int>(state.range(0)), 2));
    const rfb::Region b = ours(randomRects(static_cast<int>(state.range(0)), 3));
    rfb::Region r;
    for (auto _ : state) {
        r = a;
        if (op == Union)
            r.assign_union(b);
        else if (op == Intersect)
            r.assign_intersect(b);
        else
            r.assign_subtract(b);
        benchmark::DoNotOptimize(r);
    }
    state.counters["rects_in"] = static_cast<double>(a.numRects() + b.numRects());
}

template <Op op>
void BM_X11RegionOp(benchmark::State& state)
{
    ::Region a = theirs(randomRects(static_cast<int>(state.range(0)), 2));
    ::Region b = theirs(randomRects(static_cast<int>(state.range(0)), 3));
    ::Region empty = XCreateRegion();
    ::Region r = XCreateRegion();
    for (auto _ : state) {
        XUnionRegion(empty, a, r); // copies a into r
        if (op == Union)
            XUnionRegion(r, b, r);
        else if (op == Intersect)
            XIntersectRegion(r, b, r);
        else
            XSubtractRegion(r, b, r);
        benchmark::DoNotOptimize(r);
    }
    XDestroyRegion(r);
    XDestroyRegion(empty);
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
        benchmark::DoNotOptimize(std::memcpy(dst.data(), src.data(), src.size()));
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
        const bool translated = rfb::TranslateRect(fn, table.data(), in, out, src.data(), src.size(),
                                                   static_cast<size_t>(kW * in.bytesPerPixel()), dst.data(),
                                                   dst.size(), kW, kH);
        benchmark::DoNotOptimize(translated);
        benchmark::ClobberMemory();
        if (!translated) {
            state.SkipWithError("translation refused the frame");
            break;
        }
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
