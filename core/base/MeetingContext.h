#pragma once
// What the meeting room's windows, the extras and the sharing endpoints need
// of the program: the meeting packet senders (each packet whole under the
// control channel's send lock), participant look-ups and who holds control.
// The program's manager implements it, so these parts never see the manager.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct AnnotationLayer;

class MeetingContext {
public:
    // Each returns false when the packet could not be sent.
    virtual bool SendControlMessage(uint8_t type, const std::string& name, const std::string& other,
                                    uint32_t value3, uint32_t value1, uint32_t value2) = 0;
    virtual bool SendTextMessage(uint8_t type, std::string_view text) = 0;
    virtual bool SendCanvasMessage(std::string_view text) = 0;
    virtual bool SendPartiMarkMessage(std::string_view text) = 0;
    virtual bool SendAudioMessage(uint8_t piece, const uint8_t* data, size_t length) = 0;
    // Display name of a participant (UTF-8), empty when not in the list.
    virtual std::string GetParticipantName(const std::string& session) = 0;
    // A participant controls the shared screen.
    virtual bool ControlHeld() const = 0;
    // On the host: some participant holds control of this host's screen.
    // None by default (a context with no control requests gives none).
    virtual bool RemoteControlActive() const { return false; }
    // The client end (a SOCKET) of a meeting channel that a feature reads;
    // ~0 when the meeting has none.
    enum class FeatureChannel { Chat, FileShare, Voice };
    virtual std::uintptr_t FeatureChannelEnd(FeatureChannel channel) = 0;
    // The viewer's opening succeeded: "vnc server is created" for the core.
    virtual void SignalViewerStarted() = 0;
    // The viewing ended by an error: the core ends this participant's view
    // as at the end of sharing (posted; the caller's windows stay until then).
    virtual void EndSharingView() = 0;
    // The recorder takes the viewer's frames: every paint of the sharing view
    // posts PLM_RECORD_FRAME to the main thread with a copy of the frame
    // (an HBITMAP the receiver owns and deletes).
    virtual bool RecordingViewerFrames() const = 0;
    // The annotation layer over the shared screen; null while there is none.
    virtual std::shared_ptr<const AnnotationLayer> GetAnnotationLayer() = 0;
    // The annotation over the shared screen changed: the sharing viewer's
    // window repaints (nothing while this participant has no viewer).
    virtual void RepaintSharingView() {}
    // The participant's own mark at a point of the shared screen
    // (framebuffer coordinates), with the own display name. Nothing where
    // marks are not offered.
    virtual void PlaceOwnMark(int x, int y) { (void)x, (void)y; }

protected:
    ~MeetingContext() = default;
};
