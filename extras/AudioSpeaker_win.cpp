#include "extras/AudioSpeaker.h"

#include "core/base/MeetingContext.h"

AudioSpeaker::AudioSpeaker(MeetingContext* meeting) : m_meeting(meeting) {}

AudioSpeaker::~AudioSpeaker()
{
    StopReceive();
}

// Voice playback belongs to the meeting extras, which are not built yet:
// until then received voice is read and dropped, so a peer talking never
// fills a channel nobody reads.
void AudioSpeaker::StartReceive()
{
    if (m_meeting)
        m_drain.Start(m_meeting->FeatureChannelEnd(MeetingContext::FeatureChannel::Voice));
}

void AudioSpeaker::StopReceive()
{
    m_drain.Stop();
}
