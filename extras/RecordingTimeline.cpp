#include "extras/RecordingTimeline.h"

namespace {

int ClampFps(int fps)
{
    return fps < 1 ? 1 : fps > 1000 ? 1000 : fps;
}

} // namespace

unsigned FrameIntervalMs(int framesPerSecond)
{
    return 1000u / static_cast<unsigned>(ClampFps(framesPerSecond));
}

int64_t ProfileTimePerFrame(int framesPerSecond)
{
    return 2000000 / ClampFps(framesPerSecond);
}

RecordingTimeline::RecordingTimeline(int framesPerSecond) : m_fps(ClampFps(framesPerSecond)) {}

RecordingTimeline::Frame RecordingTimeline::NextFrame()
{
    const uint64_t ms = m_frames * 1000u / static_cast<unsigned>(m_fps);
    Frame f{static_cast<int64_t>(ms) * 10000, (m_frames + 1) % kCleanPointEvery == 0};
    ++m_frames;
    return f;
}

int64_t RecordingTimeline::NextSound(uint32_t bytes)
{
    const int64_t time = static_cast<int64_t>(m_soundBytes) * (10000000 / kSoundBytesPerSecond);
    m_soundBytes += bytes;
    return time;
}
