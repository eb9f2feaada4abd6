#include "meeting/CanvasMessageKind.h"

#include <cstring>

int ClassifyCanvasMessage(const char* text, size_t length)
{
    static const struct {
        const char* prefix;
        int kind;
    } kinds[] = {{"MEMA:", 0}, {"MEWB:", 1}, {"CEMA:", 2}, {"CEWB:", 3},
                 {"TIMA:", 4}, {"TIWB:", 5}, {"EVBH:", kCanvasKindBoth}};
    if (text == nullptr || length < 5)
        return -1;
    for (const auto& k : kinds) {
        if (std::memcmp(text, k.prefix, 5) == 0)
            return k.kind;
    }
    return -1;
}
