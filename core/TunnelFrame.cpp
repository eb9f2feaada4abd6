#include "core/TunnelFrame.h"

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
