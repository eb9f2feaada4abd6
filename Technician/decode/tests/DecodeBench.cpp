// Decode time per encoding on the host's 1920 x 1080 desktop-like and
// photo-like frames, in BGR233 (the viewer's usual format) and the host's
// 32-bit format, next to the same frame's encode time (the host's encoders
// for Raw, Hextile and ZRLE, the test encoders for the rest) and a memcpy of
// the frame. The Tight JPEG images are also written to the temp directory,
// so tjbench can decode the same bytes.
#include "Customer/tests/TestFrames.h"
#include "Customer/encode/vncEncodeHexT.h"
#include "Customer/encode/vncEncodeZRLE.h"
#include "Customer/encode/vncEncoder.h"
#include "Technician/decode/DecodeSession.h"
#include "Technician/decode/tests/DecodeHarness.h"
#include "Technician/decode/tests/TestEncoders.h"
#include "rfb/MemInStream.h"
#include "rfb/MemOutStream.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

using namespace testdecode;

namespace {

constexpr int kW = 1920, kH = 1080;

struct Input {
    const char* name;
    rfb::PixelFormat pf;
    testframes::Frame host;
    ClientImage img;
};

std::vector<rfb::Rect> Cells(int size)
{
    std::vector<rfb::Rect> out;
    for (int y = 0; y < kH; y += size)
        for (int x = 0; x < kW; x += size)
            out.push_back(rfb::Rect(x, y, std::min(x + size, kW), std::min(y + size, kH)));
    return out;
}

const rfb::Rect kFrame(0, 0, kW, kH);

// A fresh encoder's whole update for the frame.
using Encoder = std::function<Bytes(const Input&)>;

Bytes HostEncode(const Input& in, int encoding)
{
    std::unique_ptr<vncEncoder> e;
    if (encoding == enc::Hextile)
        e = std::make_unique<vncEncodeHexT>();
    else if (encoding == enc::ZRLE)
        e = std::make_unique<vncEncodeZRLE>();
    else
        e = std::make_unique<vncEncoder>();
    e->SetLocalFormat(in.host.format, kW, kH);
    e->SetRemoteFormat(in.pf);
    e->SetTranslateFunction();
    rdr::MemOutStream out;
    e->EncodeRect(testframes::View(in.host), out, kFrame);
    return Bytes(out.data(), out.data() + out.length());
}

const std::vector<std::pair<const char*, Encoder>>& Encoders()
{
    static const std::vector<std::pair<const char*, Encoder>> list = {
        {"Raw", [](const Input& in) { return HostEncode(in, enc::Raw); }},
        {"Hextile", [](const Input& in) { return HostEncode(in, enc::Hextile); }},
        {"ZRLE", [](const Input& in) { return HostEncode(in, enc::ZRLE); }},
        {"RRE", [](const Input& in) { return EncodeRre(in.img, kFrame, false); }},
        {"CoRRE",
         [](const Input& in) {
             Bytes b;
             for (const rfb::Rect& r : Cells(255))
                 Append(b, EncodeRre(in.img, r, true));
             return b;
         }},
        {"Zlib", [](const Input& in) { return ZlibEncoder().zlib(in.img, kFrame); }},
        {"TightBasic", [](const Input& in) {
             Bytes b;
             TightEncoder t;
             TightOptions o;
             o.gradient = true;
             for (const rfb::Rect& r : Cells(256))
                 Append(b, t.encode(in.img, r, o));
             return b;
         }},
        {"TightJpeg", [](const Input& in) {
             TightOptions o;
             o.jpeg = true;
             return TightEncoder().encode(in.img, kFrame, o);
         }},
        {"Ultra", [](const Input& in) { return EncodeUltra(in.img, kFrame); }},
        {"XorZlib", [](const Input& in) {
             ClientImage blank = in.img;
             std::fill(blank.px.begin(), blank.px.end(), 0);
             return ZlibEncoder().xorZlib(blank, in.img, kFrame);
         }},
        {"ZlibHex", [](const Input& in) { return ZlibHexEncoder().encode(in.img, kFrame); }},
    };
    return list;
}

void DecodeAll(decode::DecodeSession& s, const Bytes& bytes)
{
    rdr::MemInStream in(bytes.data(), bytes.size());
    std::vector<rfb::Rect> changed;
    while (in.remaining() > 0)
        s.decode(in, ReadHeader(in), changed);
}

std::vector<Input>& Inputs()
{
    static std::vector<Input> inputs;
    if (inputs.empty()) {
        const std::pair<const char*, const char*> names[] = {{"bgr233", "desktop/bgr233"}, {"bgr233", "photo/bgr233"},
                                                             {"host32", "desktop/host32"}, {"host32", "photo/host32"}};
        for (const auto& [format, name] : names) {
            const rfb::PixelFormat pf = FormatNamed(format).pf;
            const bool photo = std::string(name).rfind("photo", 0) == 0;
            testframes::Frame host = photo ? testframes::Photo(testframes::Host32(), kW, kH, 1)
                                           : testframes::Desktop(testframes::Host32(), kW, kH, 1);
            inputs.push_back(Input{name, pf, host, photo ? PhotoImage(pf, kW, kH, 1) : DesktopImage(pf, kW, kH, 1)});
        }
    }
    return inputs;
}

void Register()
{
    for (const Input& in : Inputs()) {
        for (const auto& [name, encoder] : Encoders()) {
            const Encoder enc = encoder;
            const Input* input = &in;
            auto bytes = std::make_shared<Bytes>(enc(in));
            // Encodings without session streams decode on one warm session, as
            // a viewer does after its first update; the others need a new
            // session (and its first-use allocations) for every run.
            const std::string n = name;
            const bool stateless = n == "Raw" || n == "RRE" || n == "CoRRE" || n == "TightJpeg" || n == "Ultra";
            if (std::string(name) == "TightJpeg") {
                // The JPEG alone (after the 12-byte header, the control byte and
                // a 3-byte compact length), for tjbench.
                std::string file = std::string("decode_bench_") + in.name + ".jpg";
                std::replace(file.begin(), file.end(), '/', '_');
                std::ofstream(std::filesystem::temp_directory_path() / file, std::ios::binary)
                    .write(reinterpret_cast<const char*>(bytes->data() + 16), static_cast<std::streamsize>(bytes->size() - 16));
            }
            benchmark::RegisterBenchmark((std::string("decode/") + name + "/" + in.name).c_str(),
                                         [bytes, input, stateless](benchmark::State& state) {
                                             decode::Framebuffer fb(kW, kH);
                                             decode::DecodeSession warm(fb, input->pf);
                                             for (auto _ : state) {
                                                 if (stateless) {
                                                     DecodeAll(warm, *bytes);
                                                     continue;
                                                 }
                                                 decode::DecodeSession s(fb, input->pf);
                                                 DecodeAll(s, *bytes);
                                             }
                                             state.counters["bytes"] = static_cast<double>(bytes->size());
                                         })
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((std::string("encode/") + name + "/" + in.name).c_str(),
                                         [enc, input](benchmark::State& state) {
                                             for (auto _ : state)
                                                 benchmark::DoNotOptimize(enc(*input));
                                         })
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("memcpy/frame32", [](benchmark::State& state) {
        std::vector<uint32_t> a(static_cast<size_t>(kW) * kH, 1), b(a.size());
        for (auto _ : state) {
            std::memcpy(b.data(), a.data(), a.size() * 4);
            benchmark::ClobberMemory();
        }
    })->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
