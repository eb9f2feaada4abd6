#include "extras/RecordingFrameSize.h"
#include "extras/RecordingTimeline.h"

#include <gtest/gtest.h>

namespace {

TEST(RecordingTimeline, IntervalAndProfileTimeFollowTheRate)
{
    struct {
        int fps;
        unsigned interval;
        int64_t perFrame;
    } cases[] = {{5, 200, 400000}, {10, 100, 200000}, {25, 40, 80000}, {1, 1000, 2000000},
                 {0, 1000, 2000000}, {-3, 1000, 2000000}, {5000, 1, 2000}};
    for (auto& c : cases) {
        EXPECT_EQ(FrameIntervalMs(c.fps), c.interval) << c.fps;
        EXPECT_EQ(ProfileTimePerFrame(c.fps), c.perFrame) << c.fps;
    }
}

// At 5 frames a second frame i is stamped i x 2000000; the 15th frame is the
// first clean point, then every 15th. A second recording starts over.
TEST(RecordingTimeline, FrameStampsAndCleanPointsPerRecording)
{
    for (int recording = 0; recording < 2; ++recording) {
        RecordingTimeline line(5);
        for (int i = 0; i < 46; ++i) {
            RecordingTimeline::Frame f = line.NextFrame();
            EXPECT_EQ(f.time, int64_t(i) * 2000000) << i;
            EXPECT_EQ(f.cleanPoint, i == 14 || i == 29 || i == 44) << i;
        }
        EXPECT_EQ(line.FramesWritten(), 46u);
    }
    // A rate that does not divide 1000 stamps by whole milliseconds.
    RecordingTimeline three(3);
    three.NextFrame();
    EXPECT_EQ(three.NextFrame().time, 333 * 10000);
    EXPECT_EQ(three.NextFrame().time, 666 * 10000);
}

// Sound buffers are stamped by the bytes before them; a buffer that was not
// written (paused) is simply not counted.
TEST(RecordingTimeline, SoundStampedByBytesBefore)
{
    RecordingTimeline line(5);
    EXPECT_EQ(line.NextSound(16000), 0);
    EXPECT_EQ(line.NextSound(16000), 10000000);
    EXPECT_EQ(line.NextSound(800), 20000000);
    EXPECT_EQ(line.NextSound(16000), 20000000 + 800 * 625);
}

TEST(RecordingFrameSize, EvenHeight)
{
    EXPECT_EQ(EvenRecordingHeight(800), 800);
    EXPECT_EQ(EvenRecordingHeight(601), 600);
    EXPECT_EQ(EvenRecordingHeight(1), 0);
    EXPECT_EQ(EvenRecordingHeight(-5), 0);
}

// Regression: the sample was sized by biSizeImage, which may be 0 for an
// uncompressed bitmap, while every row was copied in: an overrun.
TEST(RecordingFrameSize, BytesFromWidthDepthAndRowAlignment)
{
    struct {
        int32_t w, h;
        int bpp;
        uint32_t bytes;
    } cases[] = {
        {1280, 800, 32, 1280u * 4 * 800},
        {3, 2, 24, 12 * 2},  // 9 bytes a row, padded to 12
        {3, 2, 16, 8 * 2},   // 6 bytes a row, padded to 8
        {1, 1, 32, 4},
        {kMaxRecordingSide, kMaxRecordingSide, 32, uint32_t(kMaxRecordingSide) * kMaxRecordingSide * 4},
        {0, 10, 32, 0},
        {10, 0, 32, 0},
        {-4, 10, 32, 0},
        {kMaxRecordingSide + 1, 1, 32, 0},
        {10, 10, 8, 0},
        {10, 10, 0, 0},
    };
    for (auto& c : cases)
        EXPECT_EQ(FrameImageBytes(c.w, c.h, c.bpp), c.bytes) << c.w << "x" << c.h << "x" << c.bpp;
}

} // namespace
