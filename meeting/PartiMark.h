#pragma once
// Participant marks: named markers on the shared screen.
#include "core/base/CHeap.h"

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

private:
    MeetingContext* m_meeting;
};
