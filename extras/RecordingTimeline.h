#pragma once
// The time line of one recording: the interval between frames, each video
// frame's stamp and clean points, and the stamps of the sound buffers, all in
// the writer's 100 ns units. Paused time is left out: nothing is counted
// while paused, so the stamps go on after a pause where they stopped.
#include <cstdint>

constexpr int kRecordingFramesPerSecond = 5;
constexpr unsigned kCleanPointEvery = 15;
constexpr uint32_t kSoundBytesPerSecond = 16000;  // 8000 samples/s, 16 bits, mono

// 1000 / fps ms; fps below 1 counts as 1, above 1000 as 1000.
unsigned FrameIntervalMs(int framesPerSecond);
// The AvgTimePerFrame the video stream's profile carries: 2000000 / fps.
int64_t ProfileTimePerFrame(int framesPerSecond);

class RecordingTimeline {
public:
    explicit RecordingTimeline(int framesPerSecond);

    // The next video frame: its stamp (frame i: i x 1000 / fps ms, in 100 ns
    // units) and whether it is a clean point (the 15th of this recording,
    // then every 15th). Call once per frame written.
    struct Frame {
        int64_t time;
        bool cleanPoint;
    };
    Frame NextFrame();
    uint64_t FramesWritten() const { return m_frames; }

    // The next sound buffer of `bytes` bytes: stamped with the bytes before
    // it at 16000 bytes a second (625 x bytes in 100 ns units).
    int64_t NextSound(uint32_t bytes);

private:
    int m_fps;
    uint64_t m_frames = 0;
    uint64_t m_soundBytes = 0;
};
