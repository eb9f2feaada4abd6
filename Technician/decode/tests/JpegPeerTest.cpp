// A JPEG made by libjpeg-turbo's own cjpeg from a PPM of the test frame,
// sent as a Tight JPEG rectangle, shows exactly what djpeg makes of it.
#include "Technician/decode/tests/DecodeHarness.h"
#include "Technician/decode/tests/TestEncoders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testdecode {
namespace {

bool Have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

Bytes ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(JpegPeer, CjpegImageShowsAsDjpegDecodesIt)
{
    if (!Have("cjpeg") || !Have("djpeg"))
        GTEST_SKIP() << "cjpeg and djpeg (libjpeg-turbo-progs) are not installed";
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("decode_jpeg_peer_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const rfb::PixelFormat& pf = FormatNamed("host32").pf;
    const int w = 173, h = 97;
    const ClientImage img = PhotoImage(pf, w, h, 11);
    {
        std::ofstream ppm(dir / "frame.ppm", std::ios::binary);
        ppm << "P6\n" << w << " " << h << "\n255\n";
        for (uint32_t p : img.px)
            ppm.put(static_cast<char>(p >> 16)).put(static_cast<char>(p >> 8)).put(static_cast<char>(p));
    }
    const std::string d = dir.string();
    ASSERT_EQ(std::system(("cjpeg -quality 80 " + d + "/frame.ppm > " + d + "/frame.jpg").c_str()), 0);
    ASSERT_EQ(std::system(("djpeg -ppm " + d + "/frame.jpg > " + d + "/back.ppm").c_str()), 0);
    const Bytes jpeg = ReadFile(dir / "frame.jpg");
    const Bytes back = ReadFile(dir / "back.ppm");
    std::filesystem::remove_all(dir);

    Bytes b;
    PutHeader(b, 0, 0, w, h, enc::Tight);
    PutU8(b, 0x90);
    TightEncoder::PutCompactLength(b, jpeg.size());
    Append(b, jpeg);
    Viewer v(pf, w, h);
    ASSERT_EQ(v.decodeOne(b), decode::RectResult::Drawn);

    const std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    ASSERT_EQ(back.size(), header.size() + static_cast<size_t>(w) * h * 3);
    ClientImage want{pf, w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h)};
    const uint8_t* p = back.data() + header.size();
    for (uint32_t& c : want.px) {
        c = static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
        p += 3;
    }
    EXPECT_TRUE(Shows(v, want, rfb::Rect(0, 0, w, h)));
}

} // namespace
} // namespace testdecode
