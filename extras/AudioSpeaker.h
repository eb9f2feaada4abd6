#pragma once
// Voice: playback of received voice and its receive thread.
#include "core/base/CHeap.h"
#include "core/base/ChannelDrain.h"

class MeetingContext;

class AudioSpeaker : public CHeap {
public:
    explicit AudioSpeaker(MeetingContext* meeting);
    // Stops the receive thread first.
    ~AudioSpeaker() override;
    AudioSpeaker(const AudioSpeaker&) = delete;
    AudioSpeaker& operator=(const AudioSpeaker&) = delete;

    // Starts the receive thread on the audio channel (entering a meeting).
    void StartReceive();
    // Sets the thread's stop flag, waits for it and closes playback.
    void StopReceive();

private:
    MeetingContext* m_meeting;
    ChannelDrain m_drain;
};
