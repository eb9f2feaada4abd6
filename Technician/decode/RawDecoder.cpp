#include "Technician/decode/RawDecoder.h"

#include <algorithm>

namespace decode {

namespace {

constexpr size_t kBandBytes = 64 * 1024;

} // namespace

RectResult RawDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    if (h.w == 0 || h.h == 0)
        return RectResult::Drawn;
    const size_t rowBytes = static_cast<size_t>(h.w) * t.colours.bytesPerPixel();
    const int band = static_cast<int>(std::max<size_t>(1, std::min<size_t>(kBandBytes / rowBytes, static_cast<size_t>(h.h))));
    m_bytes.reserve(rowBytes * static_cast<size_t>(band), t.log);
    m_colours.resize(static_cast<size_t>(h.w) * static_cast<size_t>(band));
    for (int row = 0; row < h.h; row += band) {
        const int n = std::min(band, h.h - row);
        in.readBytes(m_bytes.data(), rowBytes * static_cast<size_t>(n));
        t.colours.convert(m_bytes.data(), static_cast<size_t>(h.w) * static_cast<size_t>(n), m_colours.data());
        t.fb.draw().put(h.x, h.y + row, h.w, n, m_colours.data());
    }
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

} // namespace decode
