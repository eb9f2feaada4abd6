// A meeting context for tests of one feature or endpoint: every packet
// sender reports failure, nobody is in the list and nobody holds control; a
// test overrides only what it looks at (channel ends, the start signal).
#pragma once

#include "core/base/MeetingContext.h"

class QuietMeetingContext : public MeetingContext {
public:
    virtual ~QuietMeetingContext() = default;
    bool SendControlMessage(uint8_t, const std::string&, const std::string&, uint32_t, uint32_t, uint32_t) override
    {
        return false;
    }
    bool SendTextMessage(uint8_t, std::string_view) override { return false; }
    bool SendCanvasMessage(std::string_view) override { return false; }
    bool SendPartiMarkMessage(std::string_view) override { return false; }
    bool SendAudioMessage(uint8_t, const uint8_t*, size_t) override { return false; }
    std::string GetParticipantName(const std::string&) override { return {}; }
    bool ControlHeld() const override { return false; }
    std::uintptr_t FeatureChannelEnd(FeatureChannel) override { return ~std::uintptr_t(0); }
    void SignalViewerStarted() override {}
    void EndSharingView() override {}
    bool RecordingViewerFrames() const override { return false; }
    std::shared_ptr<const AnnotationLayer> GetAnnotationLayer() override { return nullptr; }
};
