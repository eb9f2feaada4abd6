#include "Technician/connection/ViewerOpening.h"

#include "rfb/RfbProto.h"

#include <chrono>

namespace viewer {

namespace {

// Undoes the stream's deadline on every way out.
class DeadlineScope {
public:
    DeadlineScope(SliceInStream& in, int ms) : m_in(in) { m_in.setDeadlineMs(ms); }
    ~DeadlineScope() { m_in.setDeadlineMs(-1); }

private:
    SliceInStream& m_in;
};

// Draining goes on while more arrives within this many milliseconds.
constexpr int kQuietMs = 50;

} // namespace

const char* OpenSession(SliceInStream& in, MessageWriter& out, StartReply& reply, const OpenSchedule& s)
{
    // Drop what an earlier session left on the socket: the rest of one whole
    // update, megabytes in full colour, still arriving through the tunnel.
    // Draining ends after a short quiet spell; a host that never pauses gets
    // one wait of it. What comes later is skipped by the search for the reply
    // below, which the deadline bounds.
    const auto drainEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.waitMs);
    while (std::chrono::steady_clock::now() < drainEnd && in.dropAvailable(kQuietMs) > 0) {
    }
    const int total = s.waitMs * (s.resends + 1);
    DeadlineScope bound(in, total);
    out.send(StartRequest());
    int resent = 0;
    auto windowStart = std::chrono::steady_clock::now();
    int previous = -1;
    const char* refused = nullptr;
    try {
        for (;;) {
            const auto waited = std::chrono::steady_clock::now() - windowStart;
            const int left = s.waitMs - static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count());
            if (left <= 0 || !in.waitData(left)) {
                if (resent >= s.resends)
                    return refused ? refused : "no start reply";
                out.send(StartRequest());
                ++resent;
                windowStart = std::chrono::steady_clock::now();
                continue;
            }
            const uint8_t b = in.readU8();
            if (previous == rfbproto::kStartReply && b == kStartToken) {
                uint8_t bytes[kStartReplyLength] = {rfbproto::kStartReply, kStartToken};
                in.readBytes(bytes + 2, kStartReplyLength - 2);
                // Leftover pixels can hold the reply's two first bytes: a
                // candidate that is no good reply is skipped, and its reason
                // kept for when no good one comes.
                const char* why = ParseStartReply(bytes, reply);
                if (!why)
                    return nullptr;
                refused = why;
                previous = -1;
                continue;
            }
            previous = b;
        }
    } catch (const rdr::TimedOut&) {
        return refused ? refused : "no start reply";
    } catch (const rdr::EndOfStream&) {
        return "the host closed the connection";
    } catch (const rdr::SystemException&) {
        return "the connection failed";
    }
}

} // namespace viewer
