#include "extras/RecorderConsoleState.h"

#include <cstdio>

ConsoleAction RecorderConsoleState::OnRecord()
{
    if (m_state != ConsoleState::Idle)
        return ConsoleAction::None;
    m_state = ConsoleState::Recording;
    ++m_sequence;
    m_seconds = 0;
    return ConsoleAction::StartRecording;
}

ConsoleAction RecorderConsoleState::OnPauseResume()
{
    switch (m_state) {
    case ConsoleState::Recording:
        m_state = ConsoleState::Paused;
        return ConsoleAction::PauseRecording;
    case ConsoleState::Paused:
        m_state = ConsoleState::Recording;
        return ConsoleAction::ResumeRecording;
    case ConsoleState::Idle: break;
    }
    return ConsoleAction::None;
}

ConsoleAction RecorderConsoleState::OnStop()
{
    if (m_state == ConsoleState::Idle)
        return ConsoleAction::None;
    m_state = ConsoleState::Idle;
    m_seconds = 0;
    return ConsoleAction::StopRecording;
}

void RecorderConsoleState::OnStartFailed()
{
    m_state = ConsoleState::Idle;
    m_seconds = 0;
}

bool RecorderConsoleState::OnTick()
{
    if (m_state != ConsoleState::Recording)
        return false;
    ++m_seconds;
    return true;
}

ConsoleAction RecorderConsoleState::OnThreadEnded(uint32_t sequence, int result)
{
    if (sequence != m_sequence || m_sequence == 0)
        return ConsoleAction::None;
    if (m_state != ConsoleState::Idle) {
        m_state = ConsoleState::Idle;
        m_seconds = 0;
    }
    return result == 0 ? ConsoleAction::None : ConsoleAction::ReportFailure;
}

std::string FormatRecordingClock(unsigned seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2u:%.2u:%.2u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}
