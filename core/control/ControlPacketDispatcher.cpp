#include "core/control/ControlPacketDispatcher.h"

namespace {

bool HasPayloadHandler(uint8_t type)
{
    switch (type) {
    case PLP_REQUEST_CONTROL:
    case PLP_RELEASE_CONTROL:
    case PLP_POLL_OPEN_LAST:
    case PLP_POLL_OPEN_PART:
    case PLP_POLL_SUBMIT:
    case PLP_REQUEST_HOST:
    case PLP_REJECT_HOST:
    case PLP_ASK_HOST:
    case PLP_HOST_ACCEPT:
    case PLP_HOST_DECLINE:
    case PLP_CANVAS:
    case PLP_PARTI_MARK:
    case PLP_FILE_SHARE:
    case PLP_AUDIO:
        return true;
    default:
        return false;
    }
}

void DispatchTwoNames(const ReceivedPacket& p, ControlPacketHandler& h)
{
    if (p.length < 2 * kNameFieldSize) {
        h.OnDropped(p, "two-name packet too short");
        return;
    }
    std::string first = ReadNameField(p.data, p.length, 0);
    std::string second = ReadNameField(p.data, p.length, kNameFieldSize);
    switch (p.type) {
    case PLP_REQUEST_CONTROL:
    case PLP_RELEASE_CONTROL:
        h.OnControlRequest(p.type, first, second);
        break;
    case PLP_REQUEST_HOST:
    case PLP_REJECT_HOST:
        h.OnHostRequest(p.type, first, second);
        break;
    default:
        h.OnHostInvitation(p.type, first, second);
        break;
    }
}

} // namespace

void DispatchControlPacket(ReceiveChannel channel, const ReceivedPacket& p, ControlPacketHandler& h)
{
    if (channel == ReceiveChannel::Canvas) {
        if (p.type == PLP_CANVAS && p.length > 0)
            h.OnCanvasMessage(p.Text());
        return;
    }
    if (p.length > 0 && HasPayloadHandler(p.type)) {
        switch (p.type) {
        case PLP_POLL_OPEN_LAST: h.OnPollPiece(false, p.Text()); break;
        case PLP_POLL_OPEN_PART: h.OnPollPiece(true, p.Text()); break;
        case PLP_POLL_SUBMIT: h.OnPollSubmit(p.Text()); break;
        case PLP_CANVAS: h.OnCanvasMessage(p.Text()); break;
        case PLP_PARTI_MARK: h.OnPartiMark(p.Text()); break;
        case PLP_FILE_SHARE: h.OnFileShare(p); break;
        case PLP_AUDIO: break; // voice comes on its own channel
        default: DispatchTwoNames(p, h); break;
        }
        return;
    }
    switch (p.type) {
    case PLP_POLL_CLOSE: h.OnPollClose(); break;
    case PLP_REJECT_CONTROL: break;
    case PLP_LOBBY_STATE_2: h.OnLobbyState(2); break;
    case PLP_LOBBY_STATE_1: h.OnLobbyState(1); break;
    default: h.OnMeetingStateChanged(p.type); break;
    }
}

bool PollAssembly::Append(std::string_view piece)
{
    if (m_text.size() + piece.size() > kMaxText) {
        m_text.clear();
        m_assembling = false;
        return false;
    }
    m_text += piece;
    m_assembling = true;
    return true;
}

bool PollAssembly::Finish(std::string_view lastPiece, std::string& whole)
{
    bool ok = m_text.size() + lastPiece.size() <= kMaxText;
    if (ok) {
        whole = std::move(m_text);
        whole += lastPiece;
    }
    m_text.clear();
    m_assembling = false;
    return ok;
}
