#include "Customer/session/ViewerMessages.h"

#include "Customer/encode/HostLog.h"
#include "rfb/RfbProto.h"

namespace {

uint16_t be16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

} // namespace

rfb::PixelFormat ParsePixelFormat(const uint8_t b[16], bool* grey)
{
    rfb::PixelFormat pf;
    pf.bitsPerPixel = b[0];
    pf.depth = b[1];
    pf.bigEndian = b[2] != 0;
    pf.trueColour = b[3] != 0;
    pf.redMax = be16(b + 4);
    pf.greenMax = be16(b + 6);
    pf.blueMax = be16(b + 8);
    pf.redShift = b[10];
    pf.greenShift = b[11];
    pf.blueShift = b[12];
    if (grey)
        *grey = b[13] == 1;
    return pf;
}

void SerialisePixelFormat(const rfb::PixelFormat& pf, uint8_t b[16])
{
    b[0] = pf.bitsPerPixel;
    b[1] = pf.depth;
    b[2] = pf.bigEndian ? 1 : 0;
    b[3] = pf.trueColour ? 1 : 0;
    b[4] = static_cast<uint8_t>(pf.redMax >> 8);
    b[5] = static_cast<uint8_t>(pf.redMax);
    b[6] = static_cast<uint8_t>(pf.greenMax >> 8);
    b[7] = static_cast<uint8_t>(pf.greenMax);
    b[8] = static_cast<uint8_t>(pf.blueMax >> 8);
    b[9] = static_cast<uint8_t>(pf.blueMax);
    b[10] = pf.redShift;
    b[11] = pf.greenShift;
    b[12] = pf.blueShift;
    b[13] = b[14] = b[15] = 0;
}

ReadStatus ViewerMessageReader::Read(ViewerMessage& msg)
{
    uint8_t b[20];
    if (!m_in.ReadExact(b, 1))
        return ReadStatus::ReadFailed;
    msg = ViewerMessage();
    msg.type = b[0];
    auto body = [&](size_t n) { return m_in.ReadExact(b, n); };

    switch (msg.type) {
    case rfbproto::kSetPixelFormat:
        if (!body(19))
            return ReadStatus::ReadFailed;
        msg.format = ParsePixelFormat(b + 3, &msg.grey);
        return ReadStatus::Ok;
    case rfbproto::kSetEncodings: {
        if (!body(3))
            return ReadStatus::ReadFailed;
        const uint16_t n = be16(b + 1);
        msg.encodings.reserve(n);
        for (uint16_t i = 0; i < n; ++i) {
            if (!body(4))
                return ReadStatus::ReadFailed;
            msg.encodings.push_back(static_cast<int32_t>(be32(b)));
        }
        return ReadStatus::Ok;
    }
    case rfbproto::kFramebufferUpdateRequest:
        if (!body(9))
            return ReadStatus::ReadFailed;
        msg.incremental = b[0] != 0;
        msg.x = be16(b + 1);
        msg.y = be16(b + 3);
        msg.w = be16(b + 5);
        msg.h = be16(b + 7);
        return ReadStatus::Ok;
    case rfbproto::kKeyEvent:
        if (!body(7))
            return ReadStatus::ReadFailed;
        msg.down = b[0] != 0;
        msg.keysym = be32(b + 3);
        return ReadStatus::Ok;
    case rfbproto::kPointerEvent:
        if (!body(5))
            return ReadStatus::ReadFailed;
        msg.buttonMask = b[0];
        msg.x = be16(b + 1);
        msg.y = be16(b + 3);
        return ReadStatus::Ok;
    case rfbproto::kClientCutText: {
        if (!body(7))
            return ReadStatus::ReadFailed;
        const uint32_t n = be32(b + 3);
        if (n > kMaxCutText) {
            HostLog(kHostLogError, "cut text of %u bytes refused\n", n);
            return ReadStatus::TooLong;
        }
        msg.text.resize(n);
        if (n > 0 && !m_in.ReadExact(&msg.text[0], n))
            return ReadStatus::ReadFailed;
        // The text ends at its first NUL, as the clipboard would take it.
        const size_t nul = msg.text.find('\0');
        if (nul != std::string::npos)
            msg.text.resize(nul);
        return ReadStatus::Ok;
    }
    case rfbproto::kSetScale:
    case rfbproto::kSetScaleFullSize:
    case rfbproto::kBlankScreen:
        if (!body(3))
            return ReadStatus::ReadFailed;
        msg.value = b[0];
        return ReadStatus::Ok;
    case rfbproto::kSetSW:
        if (!body(5))
            return ReadStatus::ReadFailed;
        msg.x = be16(b + 1);
        msg.y = be16(b + 3);
        return ReadStatus::Ok;
    case rfbproto::kDisconnect:
        if (!body(7))
            return ReadStatus::ReadFailed;
        return ReadStatus::Ok;
    case rfbproto::kStartRequest:
        if (!body(1))
            return ReadStatus::ReadFailed;
        msg.value = b[0];
        return ReadStatus::Ok;
    case rfbproto::kCursorPosOn:
    case rfbproto::kCursorPosOff:
        return ReadStatus::Ok;
    default:
        HostLog(kHostLogError, "unknown message type.[%d]\n", msg.type);
        return ReadStatus::UnknownType;
    }
}
