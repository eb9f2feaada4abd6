// The framebuffer lock is never held while a decoder waits on the network:
// with the host stalled in the middle of a rectangle, painting can take the
// lock at once.
#include "Technician/decode/tests/DecodeHarness.h"
#include "Technician/decode/tests/TestEncoders.h"
#include "rfb/Exception.h"

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace testdecode {
namespace {

// Hands out bytes up to a stall point, then waits there until released.
class StallingStream : public rdr::InStream {
public:
    StallingStream(const Bytes& bytes, size_t stallAt) : m_bytes(bytes)
    {
        m_ptr = m_bytes.data();
        m_end = m_bytes.data() + stallAt;
    }
    size_t pos() const override { return static_cast<size_t>(m_ptr - m_bytes.data()); }

    void waitUntilStalled()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [this] { return m_stalled; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_cv.notify_all();
    }

private:
    size_t overrun(size_t itemSize, size_t nItems) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_end == m_bytes.data() + m_bytes.size())
            throw rdr::EndOfStream();
        m_stalled = true;
        m_cv.notify_all();
        m_cv.wait(lock, [this] { return m_released; });
        m_end = m_bytes.data() + m_bytes.size();
        const size_t items = static_cast<size_t>(m_end - m_ptr) / itemSize;
        return items < nItems ? items : nItems;
    }

    const Bytes& m_bytes;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stalled = false;
    bool m_released = false;
};

TEST(LockRule, PaintingTakesTheLockWhileARectangleStalls)
{
    const rfb::PixelFormat& pf = FormatNamed("host32").pf;
    const ClientImage img = PhotoImage(pf, 128, 128, 4);
    const rfb::Rect r(0, 0, 128, 128);
    ZlibEncoder zlib;
    TightEncoder tight;
    Deflater zrleStream;
    // A ZRLE rectangle of raw tiles, written here so the test needs no host.
    Bytes zrleTiles;
    for (int ty = 0; ty < 128; ty += 64)
        for (int tx = 0; tx < 128; tx += 64) {
            PutU8(zrleTiles, 0);
            for (int y = ty; y < ty + 64; ++y)
                for (int x = tx; x < tx + 64; ++x)
                    for (int i = 0; i < 3; ++i)
                        PutU8(zrleTiles, img.at(x, y) >> (8 * i));
        }
    const Bytes zrleData = zrleStream.compress(zrleTiles);
    Bytes zrle;
    PutHeader(zrle, 0, 0, 128, 128, enc::ZRLE);
    PutU32(zrle, static_cast<uint32_t>(zrleData.size()));
    Append(zrle, zrleData);
    Bytes hextile;
    PutHeader(hextile, 0, 0, 128, 128, enc::Hextile);
    for (int ty = 0; ty < 128; ty += 16)
        for (int tx = 0; tx < 128; tx += 16) {
            PutU8(hextile, 1);
            Append(hextile, RawPixels(img, rfb::Rect(tx, ty, tx + 16, ty + 16)));
        }
    const std::pair<const char*, Bytes> cases[] = {
        {"ZRLE", zrle}, {"Hextile", hextile}, {"Tight", tight.encode(img, r)}, {"zlib", zlib.zlib(img, r)}};
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        Viewer v(pf, 128, 128);
        StallingStream in(bytes, bytes.size() * 3 / 5);
        auto done = std::async(std::launch::async, [&] { return v.session.decode(in, ReadHeader(in), v.changed); });
        in.waitUntilStalled();
        const bool free = v.fb.mutex().try_lock();
        if (free)
            v.fb.mutex().unlock();
        in.release();
        EXPECT_EQ(done.get(), decode::RectResult::Drawn);
        EXPECT_TRUE(free) << "the framebuffer lock was held while the stream stalled";
        EXPECT_TRUE(Shows(v, img, r));
    }
}

} // namespace
} // namespace testdecode
