// Every encoding the test encoders write, in every client format, decodes to
// exactly the source picture (through the colour rule), rectangle after
// rectangle on one session, for a desktop-like and a photo-like frame.
#include "Technician/decode/tests/DecodeHarness.h"
#include "Technician/decode/tests/TestEncoders.h"

#include <functional>
#include <memory>

namespace testdecode {
namespace {

constexpr int kW = 160, kH = 120;

const std::vector<rfb::Rect> kRects = {
    rfb::Rect(0, 0, kW, kH),       rfb::Rect(17, 5, 71, 35),   rfb::Rect(64, 64, 129, 120),
    rfb::Rect(150, 90, 160, 120),  rfb::Rect(3, 100, 134, 101), rfb::Rect(159, 0, 160, 120),
};

// Two colours only, for the encodings that need them.
ClientImage TwoColours(const ClientImage& img)
{
    ClientImage out = img;
    const uint32_t dark = PixelOf(img.pf, 20, 40, 90), light = PixelOf(img.pf, 240, 230, 200);
    for (uint32_t& p : out.px)
        p = Rule1(p, img.pf) >> 8 & 0x80 ? light : dark;
    return out;
}

// Encodes r of img, given what the viewer shows now.
using Encode = std::function<Bytes(const ClientImage& shown, const ClientImage& img, const rfb::Rect& r, int step)>;

struct Encoding {
    const char* name;
    std::function<Encode()> make;
    bool twoColours = false;
};

const std::vector<Encoding>& Encodings()
{
    static const std::vector<Encoding> list = {
        {"RRE", [] { return [](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return EncodeRre(i, r, false); }; }},
        {"CoRRE", [] { return [](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return EncodeRre(i, r, true); }; }},
        {"Zlib", [] {
             auto e = std::make_shared<ZlibEncoder>();
             return [e](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return e->zlib(i, r); };
         }},
        {"XorZlib", [] {
             auto e = std::make_shared<ZlibEncoder>();
             return [e](const ClientImage& s, const ClientImage& i, const rfb::Rect& r, int) { return e->xorZlib(s, i, r); };
         }},
        {"XorMultiColor", [] {
             auto e = std::make_shared<ZlibEncoder>();
             return [e](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return e->xorMulti(i, r); };
         }},
        {"XorMonoColor", [] {
             auto e = std::make_shared<ZlibEncoder>();
             return [e](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return e->xorMono(i, r); };
         }, true},
        {"Tight", [] {
             auto e = std::make_shared<TightEncoder>();
             return [e](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int step) {
                 TightOptions o;
                 o.resets = step == 7 ? 0x0F : 0;
                 return e->encode(i, r, o);
             };
         }},
        {"TightTwoColours", [] {
             auto e = std::make_shared<TightEncoder>();
             return [e](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return e->encode(i, r); };
         }, true},
        {"TightGradient", [] {
             auto e = std::make_shared<TightEncoder>();
             return [e](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int step) {
                 TightOptions o;
                 o.gradient = true;
                 o.resets = step == 8 ? 0x04 : 0;
                 return e->encode(i, r, o);
             };
         }},
        {"Ultra", [] { return [](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return EncodeUltra(i, r); }; }},
        {"UltraZip", [] { return [](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return EncodeUltraZip(i, r, 37); }; }},
        {"SolMonoZip", [] { return [](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return EncodeSolMonoZip(i, r, 8); }; }},
        {"ZlibHex", [] {
             auto e = std::make_shared<ZlibHexEncoder>();
             return [e](const ClientImage&, const ClientImage& i, const rfb::Rect& r, int) { return e->encode(i, r); };
         }},
    };
    return list;
}

struct Case {
    const Encoding* encoding;
    const ClientFormat* format;
};

class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, DesktopThenPhotoAreShownExactly)
{
    const Case& c = GetParam();
    const rfb::PixelFormat& pf = c.format->pf;
    Viewer v(pf, kW, kH);
    ClientImage shown{pf, kW, kH, std::vector<uint32_t>(static_cast<size_t>(kW) * kH, 0)};
    const Encode encode = c.encoding->make();
    int step = 0;
    for (ClientImage img : {DesktopImage(pf, kW, kH, 3), PhotoImage(pf, kW, kH, 5)}) {
        if (c.encoding->twoColours)
            img = TwoColours(img);
        for (const rfb::Rect& r : kRects) {
            ASSERT_EQ(v.decodeOne(encode(shown, img, r, step++)), decode::RectResult::Drawn) << r.left << "," << r.top;
            ASSERT_TRUE(Shows(v, img, r)) << "rectangle " << r.left << "," << r.top << " " << r.width() << "x" << r.height();
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    shown.at(x, y) = img.at(x, y);
        }
    }
    EXPECT_TRUE(v.log.empty()) << v.log.front();
}

std::vector<Case> AllCases()
{
    std::vector<Case> cases;
    for (const Encoding& e : Encodings())
        for (const ClientFormat& f : ClientFormats())
            cases.push_back(Case{&e, &f});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, RoundTrip, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.encoding->name) + "_" + info.param.format->name;
                         });

} // namespace
} // namespace testdecode
