// Encoder and block-compare speed on 1920 x 1080 frames, each next to the
// plain baselines of the same run: deflate of the raw frame (levels 1 and 6),
// memcpy, and memcmp for the compare. Counters give the output sizes.
#include "Customer/tests/MemoryScreen.h"
#include "Customer/tests/TestFrames.h"
#include "Customer/capture/vncClientBuffer.h"
#include "Customer/encode/vncEncodeHexT.h"
#include "Customer/encode/vncEncodeZRLE.h"
#include "rfb/MemOutStream.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kW = 1920;
constexpr int kH = 1080;

const testframes::Frame& Frame(int kind)
{
    static const testframes::Frame desktop = testframes::Desktop(testframes::Host32(), kW, kH, 11);
    static const testframes::Frame photo = testframes::Photo(testframes::Host32(), kW, kH, 12);
    return kind == 0 ? desktop : photo;
}

template <class ENC>
void Encode(benchmark::State& state)
{
    const testframes::Frame& f = Frame(static_cast<int>(state.range(0)));
    size_t bytes = 0;
    rdr::MemOutStream out(f.bytes.size() * 2);
    for (auto _ : state) {
        state.PauseTiming();
        auto enc = std::make_unique<ENC>();
        enc->SetLocalFormat(f.format, kW, kH);
        enc->SetRemoteFormat(f.format);
        enc->SetTranslateFunction();
        out.clear();
        state.ResumeTiming();
        bytes = enc->EncodeRect(testframes::View(f), out, rfb::Rect(0, 0, kW, kH));
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["out_bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.bytes.size()));
}

void Deflate(benchmark::State& state)
{
    const testframes::Frame& f = Frame(static_cast<int>(state.range(0)));
    const int level = static_cast<int>(state.range(1));
    std::vector<uint8_t> out(compressBound(static_cast<uLong>(f.bytes.size())));
    uLongf size = 0;
    for (auto _ : state) {
        size = static_cast<uLongf>(out.size());
        compress2(out.data(), &size, f.bytes.data(), static_cast<uLong>(f.bytes.size()), level);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["out_bytes"] = static_cast<double>(size);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.bytes.size()));
}

void Memcpy(benchmark::State& state)
{
    const testframes::Frame& f = Frame(static_cast<int>(state.range(0)));
    std::vector<uint8_t> out(f.bytes.size());
    for (auto _ : state) {
        std::memcpy(out.data(), f.bytes.data(), f.bytes.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.bytes.size()));
}

// Compare of an unchanged screen: every sampled slice is read in both buffers.
void BlockCompare(benchmark::State& state)
{
    MemoryScreen screen(testframes::Host32(), kW, kH);
    screen.Paint(Frame(0));
    vncClientBuffer buf;
    buf.SetSource(&screen);
    buf.CheckBuffer();
    buf.SetCompareStep(static_cast<int>(state.range(0)));
    const rfb::Rect all(0, 0, kW, kH);
    rfb::Region changed, cached;
    buf.GrabRect(false, all);
    buf.CheckRect(all, changed, cached);
    for (auto _ : state) {
        rfb::Region c, k;
        buf.CheckRect(all, c, k);
        benchmark::DoNotOptimize(c.is_empty());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kW * kH * 4);
}

void Memcmp(benchmark::State& state)
{
    const testframes::Frame& a = Frame(0);
    const std::vector<uint8_t> b = a.bytes;
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memcmp(a.bytes.data(), b.data(), b.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(b.size()));
}

} // namespace

// Argument 0: desktop-like frame, 1: photo-like frame.
BENCHMARK_TEMPLATE(Encode, vncEncodeHexT)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Encode, vncEncodeZRLE)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Deflate)->Args({0, 1})->Args({0, 6})->Args({1, 1})->Args({1, 6})->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BlockCompare)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(Memcmp)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
