#include "meeting/ChatRules.h"

#include "meeting/ChatFrame.h"

std::vector<std::wstring> ChatRecipientNames(const std::vector<ChatPeer>& peers, const std::string& ownSession,
                                             const std::wstring& allText)
{
    std::vector<std::wstring> names{allText};
    for (const ChatPeer& p : peers)
        if (p.session != ownSession)
            names.push_back(p.name);
    return names;
}

size_t KeepRecipient(const std::vector<std::wstring>& names, const std::wstring& chosen)
{
    for (size_t i = 1; i < names.size(); ++i)
        if (names[i] == chosen)
            return i;
    return 0;
}

std::string ResolveRecipient(size_t index, const std::wstring& chosen, const std::vector<ChatPeer>& peers,
                             const std::string& ownSession)
{
    if (index == 0)
        return kChatEverybody;
    for (const ChatPeer& p : peers)
        if (p.session != ownSession && p.name == chosen)
            return p.session;
    return {};
}

ChatInputAction OnChatInputChanged(const std::wstring& text)
{
    if (text.find(L'\n') == std::wstring::npos)
        return ChatInputAction::None;
    return text.size() <= 2 ? ChatInputAction::Clear : ChatInputAction::Send;
}

ChatVerdict JudgeChatFrame(const std::string& from, const std::string& to, const std::string& ownSession,
                           bool senderKnown)
{
    if (from == ownSession)
        return ChatVerdict::Own;
    const bool toMe = to == ownSession;
    if (!toMe && to != kChatEverybody)
        return ChatVerdict::NotForMe;
    if (!senderKnown)
        return ChatVerdict::UnknownSender;
    return toMe ? ChatVerdict::ShowToMe : ChatVerdict::ShowToAll;
}

bool ChatHistoryRestarts(size_t current, size_t adding)
{
    return current + adding > kChatHistoryMax;
}

std::wstring ChatHeader(const std::wstring& format, const std::wstring& sender, const std::wstring& recipient)
{
    std::wstring out = format;
    size_t at = 0;
    for (const std::wstring* value : {&sender, &recipient}) {
        at = out.find(L"%s", at);
        if (at == std::wstring::npos)
            break;
        out.replace(at, 2, *value);
        at += value->size();
    }
    return out;
}
