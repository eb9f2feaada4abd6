// What our host sends (Raw, Hextile and ZRLE from its own encoders, in both
// of its formats, to every client format it serves) is shown exactly as the
// independent test decoder rebuilds it, and as the host frame translated and
// coloured.
#include "rfb/RfbProto.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "Customer/tests/TestFrames.h"
#include "Customer/tests/ViewerPixels.h"
#include "Customer/encode/vncEncodeHexT.h"
#include "Customer/encode/vncEncodeZRLE.h"
#include "Customer/encode/vncEncoder.h"
#include "Technician/decode/DecodeError.h"
#include "Technician/decode/tests/DecodeHarness.h"
#include "rfb/MemOutStream.h"

#include <memory>

namespace testdecode {
namespace {

constexpr int kW = 203, kH = 141;

std::unique_ptr<vncEncoder> MakeEncoder(int encoding)
{
    switch (encoding) {
    case rfbproto::kEncHextile:
        return std::make_unique<vncEncodeHexT>();
    case rfbproto::kEncZRLE:
        return std::make_unique<vncEncodeZRLE>();
    default:
        return std::make_unique<vncEncoder>();
    }
}

std::vector<rfb::Rect> WholeAndPieces()
{
    std::vector<rfb::Rect> rects = {rfb::Rect(0, 0, kW, kH), rfb::Rect(64, 64, 129, 129), rfb::Rect(200, 0, 201, 141)};
    for (int y = 0; y < kH; y += 29)
        for (int x = 0; x < kW; x += 37)
            rects.push_back(rfb::Rect(x, y, std::min(x + 13, kW), std::min(y + 11, kH)));
    return rects;
}

struct Case {
    int encoding;
    bool host16;
    const ClientFormat* viewer;
};

class HostStream : public ::testing::TestWithParam<Case> {};

TEST_P(HostStream, ShownAsTheTestDecoderAndTheTranslatedFrameShowIt)
{
    const Case& c = GetParam();
    const rfb::PixelFormat host = c.host16 ? testframes::Host16() : testframes::Host32();
    const rfb::PixelFormat& pf = c.viewer->pf;
    auto enc = MakeEncoder(c.encoding);
    enc->SetLocalFormat(host, kW, kH);
    enc->SetRemoteFormat(pf);
    if (!enc->SetTranslateFunction())
        GTEST_SKIP() << "the host does not serve this format";
    Viewer v(pf, kW, kH);
    testrfb::Decoder reference(testframes::ToTest(pf), kW, kH);
    for (const testframes::Frame& frame : {testframes::Desktop(host, kW, kH, 3), testframes::Photo(host, kW, kH, 5)}) {
        rdr::MemOutStream out;
        const std::vector<rfb::Rect> rects = WholeAndPieces();
        for (const rfb::Rect& r : rects)
            enc->EncodeRect(testframes::View(frame), out, r);
        const Bytes bytes(out.data(), out.data() + out.length());
        v.decodeAll(bytes);
        testrfb::MemorySource src(bytes.data(), bytes.size());
        for (size_t i = 0; i < rects.size(); ++i)
            reference.readRect(src);
        int bad = 0;
        const decode::Framebuffer::View view = v.fb.view();
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint32_t want = Rule1(testframes::Expected(frame.pixel(x, y), host, pf), pf);
                if ((view.pixel(x, y) != want || view.pixel(x, y) != Rule1(reference.pixel(x, y), pf)) && bad++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": 0x" << std::hex << view.pixel(x, y) << " want 0x"
                                  << want << ", test decoder 0x" << Rule1(reference.pixel(x, y), pf);
            }
        ASSERT_EQ(bad, 0);
    }
}

std::vector<Case> AllCases()
{
    std::vector<Case> cases;
    for (int e : {rfbproto::kEncRaw, rfbproto::kEncHextile, rfbproto::kEncZRLE})
        for (bool host16 : {false, true})
            for (const ClientFormat& f : ClientFormats())
                cases.push_back(Case{e, host16, &f});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(HostFormats, HostStream, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             const int e = info.param.encoding;
                             return std::string(e == 0 ? "Raw" : e == 5 ? "Hextile" : "ZRLE") +
                                    (info.param.host16 ? "_host16_" : "_host32_") + info.param.viewer->name;
                         });

// The host keeps one deflate stream for its session: the second rectangle's
// data may refer back to the first's, so it decodes only on the same stream.
TEST(HostZrle, RectanglesShareTheSessionStreamAndFailOnAFreshOne)
{
    const rfb::PixelFormat pf = FormatNamed("host32").pf;
    vncEncodeZRLE enc;
    enc.SetLocalFormat(testframes::Host32(), kW, kH);
    enc.SetRemoteFormat(pf);
    ASSERT_TRUE(enc.SetTranslateFunction());
    const testframes::Frame frame = testframes::Desktop(testframes::Host32(), kW, kH, 3);
    rdr::MemOutStream first, second;
    enc.EncodeRect(testframes::View(frame), first, rfb::Rect(0, 0, 64, 64));
    enc.EncodeRect(testframes::View(frame), second, rfb::Rect(0, 0, 64, 64));
    const Bytes a(first.data(), first.data() + first.length());
    const Bytes b(second.data(), second.data() + second.length());

    Viewer same(pf, kW, kH);
    same.decodeOne(a);
    same.decodeOne(b);
    const ClientImage img = DesktopImage(pf, kW, kH, 3);
    EXPECT_TRUE(Shows(same, img, rfb::Rect(0, 0, 64, 64)));

    Viewer fresh(pf, kW, kH);
    EXPECT_THROW(fresh.decodeOne(b), rdr::Exception);
    ASSERT_FALSE(fresh.log.empty());
    EXPECT_EQ(fresh.log.back().rfind("ZRLE decoder exception: ", 0), 0u) << fresh.log.back();
}

} // namespace
} // namespace testdecode
