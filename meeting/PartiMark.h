#pragma once
// Participant marks: named markers on the shared screen.
#include "core/base/CHeap.h"

#include <string>

class MeetingContext;

class PartiMark : public CHeap {
public:
    explicit PartiMark(MeetingContext* meeting);
    ~PartiMark() override;
    PartiMark(const PartiMark&) = delete;
    PartiMark& operator=(const PartiMark&) = delete;

    // Closes every mark window.
    void RemoveAllMarks();
    // Parses "x,y" then the UTF-8 name line, and shows the marker.
    void OnRecvMark(const char* text);
    // Sends the participant's own mark at (x, y) of the shared screen with
    // the display name.
    void SendMark(int x, int y, const std::wstring& name);

private:
    MeetingContext* m_meeting;
};
