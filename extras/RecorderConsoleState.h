#pragma once
// The recording console's states and its clock, apart from the window: what
// each button, tick and end of the recording thread does, and what the
// window must then do.
#include <cstdint>
#include <string>

enum class ConsoleState { Idle = 0, Recording = 1, Paused = 2 };

// What the window does after an event, besides showing the new state.
enum class ConsoleAction {
    None,
    StartRecording,   // make a recorder and start it
    PauseRecording,   // tell the recorder to hold its frames and sound
    ResumeRecording,  // let them go on
    StopRecording,    // stop the recorder and wait for its thread
    ReportFailure,    // the recording ended by itself with an error: tell the user
};

class RecorderConsoleState {
public:
    ConsoleState State() const { return m_state; }
    // The recording the console waits for (1, 2, ...); 0 before the first.
    uint32_t Sequence() const { return m_sequence; }
    unsigned Seconds() const { return m_seconds; }
    bool Busy() const { return m_state != ConsoleState::Idle; }

    ConsoleAction OnRecord();
    // The Pause button, which reads "Resume" while paused.
    ConsoleAction OnPauseResume();
    ConsoleAction OnStop();
    // The recorder could not start its thread: back to idle.
    void OnStartFailed();
    // One timer tick of a second; true when the clock changed.
    bool OnTick();
    // The recording thread of recording `sequence` ended with `result`
    // (0 stopped on request). Ends of earlier recordings change nothing;
    // a failure of the current one is reported even after Stop.
    ConsoleAction OnThreadEnded(uint32_t sequence, int result);

private:
    ConsoleState m_state = ConsoleState::Idle;
    uint32_t m_sequence = 0;
    unsigned m_seconds = 0;
};

// "%.2d:%.2d:%.2d": hours, minutes, seconds; hours past 99 keep every digit.
std::string FormatRecordingClock(unsigned seconds);
