// The reader's switch, screen updates, pseudo-encodings, resync and cursor
// shapes on scripted server bytes.
#include "Technician/connection/ViewerError.h"
#include "Technician/connection/tests/ReaderFixture.h"

#include <gtest/gtest.h>

namespace viewer::testing {
namespace {

TEST(ViewerReader, MessagesThatEndTheViewing)
{
    const struct {
        const char* why;
        Bytes bytes;
    } cases[] = {
        {"SetColourMapEntries", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},
        {"Bell", {2}},
        {"the host's message 96", {96}},
        {"the host's message 98", {98}},
        {"an unknown type", {200}},
    };
    for (const auto& c : cases) {
        ScriptedReader r(c.bytes);
        EXPECT_THROW(r.reader->readMessage(), WarningException) << c.why;
        StopFlag stop;
        ScriptedReader again(c.bytes);
        EXPECT_EQ(again.reader->run(stop), ViewerReader::End::Failed) << c.why;
        EXPECT_TRUE(again.logged("Exception (1)")) << c.why;
    }
}

TEST(ViewerReader, SmallMessagesReadWhole)
{
    // 73 (a further start reply) read and ignored, 75 keeps the reported
    // size apart, 10 signals the size event, then 13 ends the session.
    Script s;
    s.u8(73).fill(27, 0xEE);
    s.u8(75).u8(0).u16(3000).u16(2000);
    s.u8(10);
    s.u8(13).fill(7, 0);
    ScriptedReader r(s.bytes);
    StopFlag stop;
    EXPECT_EQ(r.reader->run(stop), ViewerReader::End::Disconnected);
    EXPECT_EQ(r.in.remaining(), 0u);
    EXPECT_EQ(r.reader->reportedWidth(), 3000);
    EXPECT_EQ(r.reader->reportedHeight(), 2000);
    EXPECT_EQ(r.fb.width(), 16) << "a reported size is not the picture's size";
    EXPECT_EQ(r.events.sizeEvents, 2);
    EXPECT_EQ(r.events.updatesEnded, 0);
}

TEST(ViewerReader, InputDesktopLostOncePerRun)
{
    ScriptedReader r({77, 77, 76, 77, 13, 0, 0, 0, 0, 0, 0, 0});
    StopFlag stop;
    EXPECT_EQ(r.reader->run(stop), ViewerReader::End::Disconnected);
    EXPECT_EQ(r.events.lost, 2);
    EXPECT_EQ(r.events.restored, 1);
    EXPECT_TRUE(r.reader->pointerPositionMode());
}

TEST(ViewerReader, CutTextReadWholeAndBounded)
{
    Script ok;
    ok.u8(3).fill(3, 0).u32(5).raw({'x', '\n', 'y', 0, 'z'}).u8(3).fill(3, 0).u32(0).u8(13).fill(7, 0);
    ScriptedReader r(ok.bytes);
    StopFlag stop;
    EXPECT_EQ(r.reader->run(stop), ViewerReader::End::Disconnected);
    EXPECT_TRUE(r.logged("Read a 5-byte string"));
    // Passed on as sent (a zero byte included); an empty text empties.
    ASSERT_EQ(r.events.clipboard.size(), 2u);
    EXPECT_EQ(r.events.clipboard[0], std::string("x\ny\0z", 5));
    EXPECT_EQ(r.events.clipboard[1], "");

    // The most the host sends is read whole, and the next message in step.
    Script most;
    most.u8(3).fill(3, 0).u32(kMaxCutText).fill(kMaxCutText, 'x').u8(13).fill(7, 0);
    ScriptedReader whole(most.bytes);
    EXPECT_EQ(whole.reader->run(stop), ViewerReader::End::Disconnected) << whole.reader->why();
    EXPECT_TRUE(whole.logged("Read a 4194304-byte string"));
    ASSERT_EQ(whole.events.clipboard.size(), 1u);
    EXPECT_EQ(whole.events.clipboard[0].size(), kMaxCutText);
    EXPECT_EQ(whole.in.remaining(), 0u);

    Script big;
    big.u8(3).fill(3, 0).u32(kMaxCutText + 1);
    ScriptedReader tooLong(big.bytes);
    EXPECT_THROW(tooLong.reader->readMessage(), QuietException);
    // 0xFFFFFFFF announced: the viewing ends before anything is allocated.
    Script huge;
    huge.u8(3).fill(3, 0).u32(0xFFFFFFFFu);
    ScriptedReader hugeReader(huge.bytes);
    EXPECT_EQ(hugeReader.reader->run(stop), ViewerReader::End::Failed);
    EXPECT_TRUE(hugeReader.events.clipboard.empty());
}

TEST(ViewerReader, RawRectangleDrawnAndInvalidated)
{
    // Row 1 format: red 3 bits at 0, green 3 at 3, blue 2 at 6.
    Script s;
    s.update(1).rect(2, 3, 2, 1, 0).u8(0x07).u8(0xC0);
    ScriptedReader r(s.bytes);
    EXPECT_TRUE(r.reader->readMessage());
    EXPECT_EQ(r.fb.view().pixel(2, 3), 0xFF0000u);
    EXPECT_EQ(r.fb.view().pixel(3, 3), 0x0000FFu);
    ASSERT_EQ(r.events.changed.size(), 1u);
    EXPECT_EQ(r.events.changed[0], rfb::Rect(2, 3, 4, 4));
    EXPECT_EQ(r.events.updatesEnded, 1);
}

TEST(ViewerReader, LastRectAndNewSizeEndTheUpdate)
{
    // A first LastRect: nothing drawn, the update still ends; the next
    // message is read in step.
    Script s;
    s.update(3).rect(0, 0, 0, 0, -224).u8(13).fill(7, 0);
    ScriptedReader r(s.bytes);
    StopFlag stop;
    EXPECT_EQ(r.reader->run(stop), ViewerReader::End::Disconnected);
    EXPECT_EQ(r.events.updatesEnded, 1);
    EXPECT_TRUE(r.events.changed.empty());

    // NewFBSize: new picture of RGB(0, 0, 50), a full request, SetPixelFormat,
    // SetEncodings and a full request; the rest of the update is not read.
    Script n;
    n.update(2).rect(0, 0, 40, 30, -223).u8(13).fill(7, 0);
    ScriptedReader g(n.bytes);
    EXPECT_EQ(g.reader->run(stop), ViewerReader::End::Disconnected);
    EXPECT_EQ(g.fb.width(), 40);
    EXPECT_EQ(g.fb.height(), 30);
    EXPECT_EQ(g.fb.view().pixel(39, 29), kNewFramebufferColour);
    ASSERT_EQ(g.writer.sent.size(), 4u);
    EXPECT_EQ(g.writer.sent[0], UpdateRequestMessage(false, 40, 30));
    EXPECT_EQ(g.writer.sent[1], SetPixelFormatMessage(g.format));
    EXPECT_EQ(g.writer.sent[2], SetEncodingsMessage(EncodingList(ViewerOptions())));
    EXPECT_EQ(g.writer.sent[3], UpdateRequestMessage(false, 40, 30));
    EXPECT_EQ(g.events.resized, 1);
    EXPECT_EQ(g.events.updatesEnded, 1);

    // Message 4 does the same; a bad size ends the viewing.
    Script m;
    m.u8(4).u8(0).u16(20).u16(10);
    ScriptedReader four(m.bytes);
    EXPECT_TRUE(four.reader->readMessage());
    EXPECT_EQ(four.fb.width(), 20);
    EXPECT_EQ(four.writer.sent.size(), 4u);
    EXPECT_EQ(four.events.resized, 1);
    EXPECT_EQ(four.events.updatesEnded, 1) << "message 4 posts the update's end";
    for (int w : {0, 65535}) {
        Script bad4;
        bad4.u8(4).u8(0).u16(w).u16(65535);
        ScriptedReader b4(bad4.bytes);
        EXPECT_EQ(b4.reader->run(stop), ViewerReader::End::Failed) << w;
        EXPECT_EQ(b4.fb.width(), 16) << w;
        EXPECT_TRUE(b4.writer.sent.empty()) << w;
        EXPECT_EQ(b4.events.updatesEnded, 0) << w;
        Script bad;
        bad.update(1).rect(0, 0, w, 65535, -223);
        ScriptedReader b(bad.bytes);
        EXPECT_THROW(b.reader->readMessage(), WarningException) << w;
        EXPECT_EQ(b.fb.width(), 16);
    }
}

TEST(ViewerReader, UnknownEncodingsResync)
{
    for (int32_t enc : {3, static_cast<int32_t>(0xFFFF0001u), static_cast<int32_t>(0xFFFF0006u), 1234, -1}) {
        Script s;
        s.update(2).rect(0, 0, 4, 4, enc).fill(100, 0x5A);
        ScriptedReader r(s.bytes);
        EXPECT_TRUE(r.reader->readMessage()) << enc;
        EXPECT_TRUE(r.logged("Unknown encoding")) << enc;
        EXPECT_TRUE(r.logged("Buffer cleared")) << enc;
        EXPECT_EQ(r.in.remaining(), 0u) << enc;
        EXPECT_EQ(r.drains, 6) << "one drain with bytes, then five empty polls";
        EXPECT_EQ(r.events.updatesEnded, 1) << enc;
    }

    // What the host sends after the drain is read in step: a Bell (which
    // ends the viewing) and a Raw update that draws.
    Script bell;
    bell.update(1).rect(0, 0, 4, 4, 3).fill(100, 0x5A).u8(2);
    ScriptedReader rb(bell.bytes);
    rb.arrivesLater = 1;
    EXPECT_TRUE(rb.reader->readMessage());
    EXPECT_EQ(rb.in.remaining(), 1u);
    EXPECT_THROW(rb.reader->readMessage(), WarningException);

    Script next;
    next.update(1).rect(0, 0, 4, 4, 1234).fill(100, 0x5A);
    const size_t before = next.bytes.size();
    next.update(1).rect(5, 6, 1, 1, 0).u8(0x07).u8(13).fill(7, 0);
    ScriptedReader rn(next.bytes);
    rn.arrivesLater = next.bytes.size() - before;
    StopFlag stop;
    EXPECT_EQ(rn.reader->run(stop), ViewerReader::End::Disconnected) << rn.reader->why();
    EXPECT_EQ(rn.fb.view().pixel(5, 6), 0xFF0000u);
    EXPECT_EQ(rn.events.updatesEnded, 2);
}

// Zeros without end, made a window at a time.
class ZeroStream : public rdr::InStream {
public:
    ZeroStream() : m_zeros(1 << 20, 0) { m_ptr = m_end = m_zeros.data(); }
    size_t pos() const override { return m_served - static_cast<size_t>(m_end - m_ptr); }

private:
    size_t overrun(size_t itemSize, size_t nItems) override
    {
        m_served += m_zeros.size() - static_cast<size_t>(m_end - m_ptr);
        m_ptr = m_zeros.data();
        m_end = m_ptr + m_zeros.size();
        const size_t fit = m_zeros.size() / itemSize;
        return fit < nItems ? fit : nItems;
    }
    std::vector<uint8_t> m_zeros;
    size_t m_served = 0;
};

rfb::PixelFormat rh8()
{
    ClientFormat f;
    ClientFormatFor(1, rfb::PixelFormat(), f);
    return f.pf;
}

Bytes Mask(int w, int h, uint8_t rowByte)
{
    return Bytes(static_cast<size_t>((w + 7) / 8) * h, rowByte);
}

TEST(ViewerReader, CursorShapesReadExactly)
{
    // XCursor 3 x 2, hot spot (1, 1): colours, source, mask.
    Script x;
    x.update(1).rect(1, 1, 3, 2, -240).raw({255, 0, 0, 0, 0, 255}).raw({0xA0, 0x40}).raw({0xE0, 0x60});
    ScriptedReader rx(x.bytes);
    EXPECT_TRUE(rx.reader->readMessage());
    EXPECT_EQ(rx.in.remaining(), 0u);
    rx.reader->moveCursor(5, 5);
    const DrawnCursor c = rx.reader->cursor();
    ASSERT_TRUE(c.visible());
    EXPECT_EQ(c.shape.hotX, 1);
    EXPECT_EQ(c.shape.colours[0], 0xFF0000u);
    EXPECT_EQ(c.shape.colours[1], 0x0000FFu);
    EXPECT_TRUE(c.shape.drawnAt(0, 0));
    EXPECT_FALSE(c.shape.drawnAt(0, 1));
    EXPECT_EQ(rx.fb.view().pixel(4, 4), 0u) << "the shape never enters the framebuffer";

    // RichCursor in each client format: w x h pixels then the mask.
    for (int depth : {1, 7, 3}) {
        ClientFormat f;
        ClientFormatFor(depth, rfb::PixelFormat(), f);
        const int bpp = f.pf.bitsPerPixel / 8;
        Script r;
        r.update(1).rect(0, 0, 9, 3, -239).fill(static_cast<size_t>(9 * 3 * bpp), 0xFF).raw(Mask(9, 3, 0xFF));
        r.u8(13).fill(7, 0);
        ScriptedReader rr(r.bytes, depth);
        StopFlag stop;
        EXPECT_EQ(rr.reader->run(stop), ViewerReader::End::Disconnected) << depth << rr.reader->why();
        EXPECT_TRUE(rr.reader->cursor().hasShape) << depth;
    }

    // 0 x 0 (header alone) removes the shape; 65535 x 65535 is read in pieces
    // and dropped, the stream stays in step.
    Script e;
    e.update(2).rect(0, 0, 3, 1, -240).raw({1, 2, 3, 4, 5, 6, 0xE0, 0xE0}).rect(0, 0, 0, 0, -239);
    ScriptedReader re(e.bytes);
    EXPECT_TRUE(re.reader->readMessage());
    EXPECT_FALSE(re.reader->cursor().hasShape);
    EXPECT_EQ(re.in.remaining(), 0u);

    // 65535 x 65535 (gigabytes): read in bounded pieces and dropped, from a
    // stream that makes its zeros as they are read.
    const size_t hugeSize = CursorDataSize(true, 65535, 65535, 1);
    ZeroStream zeros;
    decode::PixelColours colours(rh8());
    CursorShape shape;
    EXPECT_FALSE(ReadCursorShape(zeros, true, 65535, 65535, 0, 0, colours, shape));
    EXPECT_EQ(zeros.pos(), hugeSize);
    EXPECT_TRUE(shape.empty());

    // Above the kept size, the stream stays in step and no cursor remains.
    Script big;
    big.update(2).rect(0, 0, 300, 2, -239).fill(CursorDataSize(true, 300, 2, 1), 0).rect(0, 0, 1, 1, 0).u8(0x07);
    ScriptedReader rb(big.bytes);
    EXPECT_TRUE(rb.reader->readMessage());
    EXPECT_FALSE(rb.reader->cursor().hasShape);
    EXPECT_EQ(rb.fb.view().pixel(0, 0), 0xFF0000u) << "the rectangle after the shape was read in step";
}

TEST(ViewerReader, PointerPosOnlyAfterInputDesktopLost)
{
    Script s;
    s.update(1).rect(7, 8, 0, 0, -232);
    s.u8(77);
    s.update(1).rect(9, 10, 0, 0, -232);
    ScriptedReader r(s.bytes);
    EXPECT_TRUE(r.reader->readMessage());
    EXPECT_FALSE(r.reader->cursor().hasPosition);
    EXPECT_TRUE(r.reader->readMessage());
    EXPECT_TRUE(r.reader->readMessage());
    const DrawnCursor c = r.reader->cursor();
    EXPECT_TRUE(c.hasPosition);
    EXPECT_EQ(c.x, 9);
    EXPECT_EQ(c.y, 10);
}

TEST(ViewerReader, TruncatedStreamFailsCleanly)
{
    Script s;
    s.update(2).rect(0, 0, 8, 8, 0).fill(10, 1);
    for (size_t cut = 0; cut < s.bytes.size(); ++cut) {
        ScriptedReader r(Bytes(s.bytes.begin(), s.bytes.begin() + static_cast<long>(cut)));
        StopFlag stop;
        EXPECT_EQ(r.reader->run(stop), ViewerReader::End::Failed) << cut;
    }
}

} // namespace
} // namespace viewer::testing
