// Arbitrary bytes through the chat frame reader and the mark text parser:
// no overrun, and every id and text handed out within its bound.
#include "meeting/ChatFrame.h"
#include "meeting/MarkText.h"

#include <cstdlib>

namespace {

struct Check : ChatFrameReader::Sink {
    void OnChatFrame(ChatFrameReader::Event e, const ChatFrame& f, const char*) override
    {
        if (e != ChatFrameReader::Event::Frame)
            return;
        if (f.from.empty() || f.from.size() > kChatMaxIdBytes || f.to.size() > kChatMaxIdBytes ||
            f.text.size() > 4 * kChatMaxTextUnits)
            std::abort();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ChatFrameReader reader;
    Check sink;
    const size_t half = size / 2;
    reader.Feed(data, half, sink);
    reader.Feed(data + half, size - half, sink);
    const auto mark = ParseMarkText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (mark && (mark->name.empty() || mark->x > kMarkMaxCoordinate || mark->y < -kMarkMaxCoordinate))
        std::abort();
    return 0;
}
