// Received canvas texts: the classifier and the three parsers take any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "meeting/CanvasMessageKind.h"
#include "meeting/CanvasMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ClassifyCanvasMessage(text.data(), text.size());
    CanvasShapeRecord shape;
    CMsgHandler::ParseShape(text, shape);
    CanvasControlRecord control;
    CMsgHandler::ParseControl(text, control);
    CanvasTextRecord message;
    CMsgHandler::ParseText(text, message);
    return 0;
}
