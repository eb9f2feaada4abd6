#include "core/tunnel/TunnelFrame.h"

void EncodeTunnelFrameHeader(uint16_t tag, uint16_t length, uint8_t out[kTunnelFrameHeaderSize])
{
    out[0] = static_cast<uint8_t>(tag >> 8);
    out[1] = static_cast<uint8_t>(tag);
    out[2] = static_cast<uint8_t>(length >> 8);
    out[3] = static_cast<uint8_t>(length);
}

TunnelFrameHeader DecodeTunnelFrameHeader(const uint8_t in[kTunnelFrameHeaderSize])
{
    TunnelFrameHeader h;
    h.tag = static_cast<uint16_t>(in[0] << 8 | in[1]);
    h.length = static_cast<uint16_t>(in[2] << 8 | in[3]);
    return h;
}

uint16_t TagForChannel(LocalChannel channel)
{
    switch (channel) {
    case LocalChannel::Chat: return TAG_CHAT;
    case LocalChannel::Canvas: return TAG_CANVAS;
    case LocalChannel::FileShare: return TAG_FILE_SHARE;
    case LocalChannel::Audio: return TAG_AUDIO;
    case LocalChannel::Control: return TAG_CONTROL;
    case LocalChannel::Sharing: return TAG_SHARING;
    }
    return TAG_SPARE;
}

bool ChannelForTag(TunnelKind kind, uint16_t tag, LocalChannel& channel)
{
    if (kind == TunnelKind::Sharing) {
        if (tag != TAG_SHARING)
            return false;
        channel = LocalChannel::Sharing;
        return true;
    }
    switch (tag) {
    case TAG_CONTROL: channel = LocalChannel::Control; return true;
    case TAG_CANVAS: channel = LocalChannel::Canvas; return true;
    case TAG_AUDIO: channel = LocalChannel::Audio; return true;
    case TAG_CHAT: channel = LocalChannel::Chat; return true;
    case TAG_FILE_SHARE: channel = LocalChannel::FileShare; return true;
    default: return false;
    }
}

size_t ChannelReadSize(LocalChannel channel)
{
    switch (channel) {
    case LocalChannel::FileShare:
    case LocalChannel::Audio:
    case LocalChannel::Control:
        return 8192;
    default:
        return 1456;
    }
}

void AppendTunnelFrames(uint16_t tag, const uint8_t* data, size_t length, size_t maxData,
                        std::vector<uint8_t>& out)
{
    if (maxData == 0 || maxData > kTunnelFrameMaxData)
        maxData = kTunnelFrameMaxData;
    out.reserve(out.size() + length + (length / maxData + 1) * kTunnelFrameHeaderSize);
    for (size_t at = 0; at < length;) {
        size_t n = length - at < maxData ? length - at : maxData;
        uint8_t header[kTunnelFrameHeaderSize];
        EncodeTunnelFrameHeader(tag, static_cast<uint16_t>(n), header);
        out.insert(out.end(), header, header + kTunnelFrameHeaderSize);
        out.insert(out.end(), data + at, data + at + n);
        at += n;
    }
}

size_t WholeFramesWithin(const uint8_t* frames, size_t length, size_t limit)
{
    size_t taken = 0;
    while (taken < length) {
        size_t left = length - taken;
        size_t frame = left < kTunnelFrameHeaderSize
                           ? left
                           : kTunnelFrameHeaderSize + DecodeTunnelFrameHeader(frames + taken).length;
        if (frame > left)
            frame = left;
        if (taken > 0 && taken + frame > limit)
            break;
        taken += frame;
        if (taken >= limit)
            break;
    }
    return taken;
}
