#include "meeting/PartiMark.h"

PartiMark::PartiMark(MeetingContext* meeting) : m_meeting(meeting) {}

PartiMark::~PartiMark() = default;

// Mark windows belong to the meeting room, which is not built yet: none exist.
void PartiMark::RemoveAllMarks() {}

void PartiMark::OnRecvMark(const char*) {}

void PartiMark::SendMark(int, int, const std::wstring&) {}
