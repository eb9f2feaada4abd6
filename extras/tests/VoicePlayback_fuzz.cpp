// Arbitrary type-30 streams through the packet reader into the listener's
// playback state: no overrun, every second written is whole samples of at
// most one second, and nothing is written while the output is closed.
#include "core/control/ControlPacketReader.h"
#include "extras/VoicePlayback.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

struct Output : voice::PlaybackHost, ControlPacketReader::Sink {
    voice::VoicePlayback playback{*this};
    bool open = false;
    bool active = false;
    int busy = 0;

    void OnPacket(const ReceivedPacket& p) override
    {
        if (p.type == PLP_AUDIO)
            playback.OnPayload(p.data, p.length);
    }
    bool OpenOutput() override { return open = true; }
    void CloseOutput() override { open = false; }
    int FreeOutputBuffer() override { return ++busy % 3 == 0 ? -1 : busy % 2; }
    bool WriteOutput(int index, const uint8_t* data, size_t n) override
    {
        if (!open || index < 0 || index > 1 || n == 0 || n > voice::kSecondBytes || n % 2 != 0)
            std::abort();
        volatile uint8_t sum = data[0] ^ data[n - 1];
        (void)sum;
        return true;
    }
    bool VoiceActive() override { return active; }
    void SetVoiceActive(bool on) override { active = on; }
    bool Speaking() override { return false; }
    bool ProxyInUse() override { return false; }
    void ShowProxyWarning() override {}
    void ShowDeviceProblem() override {}
    void StartListenerSession() override {}
    void OnSpeakerStopped() override
    {
        active = false;
        playback.Close();
    }
};

} // namespace

// The input is read as messages: a type byte (taken among the ones that
// matter most of the time), two length bytes, then the length's bytes; the
// messages are framed as type-30 packets and fed in pieces of any size.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const uint8_t kTypes[] = {1, 2, 3, 4, 5, 123, 124, 125, 126, 127, 0, 200};
    size_t stride = data[0] % 31 + 1;
    std::vector<uint8_t> stream;
    for (size_t at = 1; at + 3 <= size;) {
        uint8_t type = data[at] < 192 ? kTypes[data[at] % sizeof(kTypes)] : data[at];
        size_t n = static_cast<size_t>(data[at + 1]) << 8 | data[at + 2];
        at += 3;
        n = std::min<size_t>(n % 9000 ? n % 9000 : n, 0xFFFE);
        std::vector<uint8_t> payload(1, type);
        // Long payloads repeat what is left of the input.
        for (size_t i = 0; i < n; ++i)
            payload.push_back(at < size ? data[at + i % (size - at)] : 0);
        at += std::min(n, size - std::min(at, size));
        uint8_t header[kControlPacketHeaderSize];
        ControlPacketHeader{PLP_AUDIO, static_cast<uint16_t>(payload.size())}.Encode(header);
        stream.insert(stream.end(), header, header + sizeof(header));
        stream.insert(stream.end(), payload.begin(), payload.end());
    }
    Output out;
    ControlPacketReader reader;
    for (size_t at = 0; at < stream.size(); at += stride)
        reader.Feed(stream.data() + at, std::min(stride, stream.size() - at), out);
    return 0;
}
