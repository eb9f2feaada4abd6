#pragma once
// A meeting core's packet handler for file-sharing tests and benchmarks over
// the local appliance: it only notes that a canvas ping came (the appliance
// has seated both sides); file-share packets go to the channel FileShare reads.
#include "core/control/ControlPacketDispatcher.h"

#include <atomic>
#include <string>
#include <string_view>

class SeatedHandler : public ControlPacketHandler {
public:
    void OnControlRequest(uint8_t, const std::string&, const std::string&) override {}
    void OnHostRequest(uint8_t, const std::string&, const std::string&) override {}
    void OnHostInvitation(uint8_t, const std::string&, const std::string&) override {}
    void OnPollPiece(bool, std::string_view) override {}
    void OnPollSubmit(std::string_view) override {}
    void OnPollClose() override {}
    void OnCanvasMessage(std::string_view) override { seated = true; }
    void OnPartiMark(std::string_view) override {}
    void OnFileShare(const ReceivedPacket&) override {}
    void OnLobbyState(uint32_t) override {}
    void OnMeetingStateChanged(uint8_t) override {}
    void OnDropped(const ReceivedPacket&, const char*) override {}
    std::atomic<bool> seated{false};
};
