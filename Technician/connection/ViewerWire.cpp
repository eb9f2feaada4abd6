#include "Technician/connection/ViewerWire.h"

#include "rfb/RfbProto.h"

namespace viewer {

namespace {

uint16_t Be16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void Put16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}

void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v >> 16);
    Put16(b, v & 0xFFFF);
}

rfb::PixelFormat Row(int bpp, int depth, int rMax, int gMax, int bMax, int rShift, int gShift, int bShift)
{
    rfb::PixelFormat pf;
    pf.bitsPerPixel = static_cast<uint8_t>(bpp);
    pf.depth = static_cast<uint8_t>(depth);
    pf.bigEndian = false;
    pf.trueColour = true;
    pf.redMax = static_cast<uint16_t>(rMax);
    pf.greenMax = static_cast<uint16_t>(gMax);
    pf.blueMax = static_cast<uint16_t>(bMax);
    pf.redShift = static_cast<uint8_t>(rShift);
    pf.greenShift = static_cast<uint8_t>(gShift);
    pf.blueShift = static_cast<uint8_t>(bShift);
    return pf;
}

} // namespace

bool ClientFormatFor(int colourDepth, const rfb::PixelFormat& server, ClientFormat& out)
{
    ClientFormat f;
    switch (colourDepth) {
    case 0:
        if (server.trueColour) {
            f.pf = server;
            f.pf.bigEndian = false;
        } else {
            f.pf = Row(16, 16, 63, 31, 31, 0, 6, 11);
        }
        break;
    case 1:
    case 4:
        f.pf = Row(8, 8, 7, 7, 3, 0, 3, 6);
        break;
    case 2:
    case 5:
        f.pf = Row(8, 6, 3, 3, 3, 4, 2, 0);
        break;
    case 3:
    case 6:
        f.pf = Row(8, 3, 1, 1, 1, 2, 1, 0);
        break;
    case 7:
        f.pf = Row(32, 0, 127, 127, 127, 1, 1, 1);
        f.trailing = 1;
        break;
    default:
        return false;
    }
    if (colourDepth >= 4 && colourDepth <= 6)
        f.trailing = 1;
    out = f;
    return true;
}

bool SizeAcceptable(int width, int height)
{
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide &&
           static_cast<long long>(width) * height <= kMaxPixels;
}

const char* ParseStartReply(const uint8_t* b, StartReply& out)
{
    if (b[0] != rfbproto::kStartReply || b[1] != kStartToken)
        return "not a start reply";
    StartReply r;
    r.width = Be16(b + 2);
    r.height = Be16(b + 4);
    const uint8_t* pf = b + 6;
    r.server.bitsPerPixel = pf[0];
    r.server.depth = pf[1];
    r.server.bigEndian = pf[2] != 0;
    r.server.trueColour = pf[3] != 0;
    r.server.redMax = Be16(pf + 4);
    r.server.greenMax = Be16(pf + 6);
    r.server.blueMax = Be16(pf + 8);
    r.server.redShift = pf[10];
    r.server.greenShift = pf[11];
    r.server.blueShift = pf[12];
    r.nameLength = static_cast<uint32_t>(Be16(b + 24)) << 16 | Be16(b + 26);
    if (!SizeAcceptable(r.width, r.height))
        return "screen size out of range";
    if (!r.server.isValid())
        return "bad pixel format";
    if (r.nameLength != 0)
        return "unexpected name";
    out = r;
    return nullptr;
}

Bytes StartRequest()
{
    return {rfbproto::kStartRequest, kStartToken};
}

Bytes SetPixelFormatMessage(const ClientFormat& f)
{
    const rfb::PixelFormat& pf = f.pf;
    Bytes b = {rfbproto::kSetPixelFormat, 0, 0, 0, pf.bitsPerPixel, pf.depth, static_cast<uint8_t>(pf.bigEndian),
               static_cast<uint8_t>(pf.trueColour)};
    Put16(b, pf.redMax);
    Put16(b, pf.greenMax);
    Put16(b, pf.blueMax);
    b.insert(b.end(), {pf.redShift, pf.greenShift, pf.blueShift, f.trailing, 0, 0});
    return b;
}

std::vector<int32_t> EncodingList(const ViewerOptions& o)
{
    std::vector<int32_t> list;
    int preferred = o.preferredEncoding;
    for (int e = 16; e >= 0; --e) {
        if (e != preferred)
            continue;
        if (o.useEncoding[e])
            list.push_back(e);
        else
            --preferred;
    }
    for (int e = 16; e >= 0; --e)
        if (o.useEncoding[e] && (list.empty() || list.front() != e))
            list.push_back(e);
    bool zlibFamily = false;
    for (int32_t e : list)
        zlibFamily = zlibFamily || e == 6 || e == 7 || e == 8;
    if (zlibFamily && o.useCompressLevel && o.compressLevel >= 0 && o.compressLevel <= 9)
        list.push_back(-256 + o.compressLevel);
    if (o.requestCursorShapes) {
        list.push_back(rfbproto::kEncXCursor);
        list.push_back(rfbproto::kEncRichCursor);
        if (!o.ignoreCursorShapes)
            list.push_back(-232);
    }
    if (o.useJpegQuality && o.jpegQuality >= 0 && o.jpegQuality <= 9)
        list.push_back(-32 + o.jpegQuality);
    list.push_back(rfbproto::kEncXorEnable);
    list.push_back(rfbproto::kEncLastRect);
    list.push_back(rfbproto::kEncNewFBSize);
    if (o.cacheEncoding)
        list.push_back(rfbproto::kEncCacheEnable);
    return list;
}

Bytes SetEncodingsMessage(const std::vector<int32_t>& encodings)
{
    Bytes b = {rfbproto::kSetEncodings, 0};
    Put16(b, static_cast<unsigned>(encodings.size()));
    for (int32_t e : encodings)
        Put32(b, static_cast<uint32_t>(e));
    return b;
}

Bytes UpdateRequestMessage(bool incremental, int width, int height)
{
    Bytes b = {rfbproto::kFramebufferUpdateRequest, static_cast<uint8_t>(incremental ? 1 : 0), 0, 0, 0, 0};
    Put16(b, static_cast<unsigned>(width));
    Put16(b, static_cast<unsigned>(height));
    return b;
}

Bytes SetScaleMessage(int scale)
{
    return {rfbproto::kSetScale, static_cast<uint8_t>(scale), 0, 0};
}

namespace {

unsigned Coordinate(int v)
{
    return v < 0 ? 0u : v > 0xFFFF ? 0xFFFFu : static_cast<unsigned>(v);
}

} // namespace

Bytes KeyEventMessage(uint32_t keysym, bool down)
{
    Bytes b{rfbproto::kKeyEvent, static_cast<uint8_t>(down ? 1 : 0), 0, 0};
    Put32(b, keysym);
    return b;
}

Bytes PointerEventMessage(uint8_t mask, int x, int y)
{
    Bytes b{rfbproto::kPointerEvent, mask};
    Put16(b, Coordinate(x));
    Put16(b, Coordinate(y));
    return b;
}

Bytes SetSWMessage(int x, int y)
{
    Bytes b{rfbproto::kSetSW, 0};
    Put16(b, Coordinate(x));
    Put16(b, Coordinate(y));
    return b;
}

Bytes ClientCutTextMessage(const std::string& text)
{
    Bytes b{rfbproto::kClientCutText, 0, 0, 0};
    Put32(b, static_cast<uint32_t>(text.size()));
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

} // namespace viewer
