// Participant-list bodies.
#include <cstddef>
#include <cstdint>
#include <string>

#include "appliance/cgi/MeetingReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string body(reinterpret_cast<const char*>(data), size);
    ParticipantUpdate update;
    ParseParticipantReply(body, update);
    return 0;
}
