#pragma once
// What the control and canvas receive threads do with each received packet:
// the type decides the handler, and payloads are checked before any handler
// sees them (a two-name packet shorter than its two fields is dropped).
#include "core/control/ControlPacketReader.h"

#include <string>
#include <string_view>

class ControlPacketHandler {
public:
    virtual ~ControlPacketHandler() = default;
    // 11, 12 / 18, 19 / 20, 21, 22 with their two name fields.
    virtual void OnControlRequest(uint8_t type, const std::string& first, const std::string& second) = 0;
    virtual void OnHostRequest(uint8_t type, const std::string& first, const std::string& second) = 0;
    virtual void OnHostInvitation(uint8_t type, const std::string& first, const std::string& second) = 0;
    // 15 (more follows) and 14 (the last or only piece).
    virtual void OnPollPiece(bool moreFollows, std::string_view text) = 0;
    virtual void OnPollSubmit(std::string_view text) = 0;
    virtual void OnPollClose() = 0;
    virtual void OnCanvasMessage(std::string_view text) = 0;
    virtual void OnPartiMark(std::string_view text) = 0;
    virtual void OnFileShare(const ReceivedPacket& packet) = 0;
    // 25 sets the lobby state to 2, 26 to 1; both then refresh.
    virtual void OnLobbyState(uint32_t state) = 0;
    // Any other signal: the meeting's state changed, re-read the participants.
    virtual void OnMeetingStateChanged(uint8_t type) = 0;
    // A packet that could not be used (logged by the handler).
    virtual void OnDropped(const ReceivedPacket& packet, const char* why) = 0;
};

enum class ReceiveChannel { Control, Canvas };

void DispatchControlPacket(ReceiveChannel channel, const ReceivedPacket& packet, ControlPacketHandler& handler);

// Joins the pieces of a poll's opening text; bounded, since the pieces come
// from the network.
class PollAssembly {
public:
    static constexpr size_t kMaxText = 1 << 20;

    // False when the text would pass the limit; the pieces so far are dropped.
    bool Append(std::string_view piece);
    // The whole text with the last piece; false when it would pass the limit.
    // Empties the assembly either way.
    bool Finish(std::string_view lastPiece, std::string& whole);
    bool Assembling() const { return m_assembling; }

private:
    std::string m_text;
    bool m_assembling = false;
};
