#include "extras/AudioSpeaker.h"

AudioSpeaker::AudioSpeaker(MeetingContext* meeting) : m_meeting(meeting) {}

AudioSpeaker::~AudioSpeaker()
{
    StopReceive();
}

// Voice belongs to the meeting extras, which are not built yet: no receive
// thread starts, so there is none to stop.
void AudioSpeaker::StartReceive() {}

void AudioSpeaker::StopReceive() {}
