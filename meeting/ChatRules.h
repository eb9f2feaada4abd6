#pragma once
// The chat's decisions that need no window: who a message goes to, what the
// input box does with a line end, which received messages are shown and how,
// and when the history starts again.
#include <cstddef>
#include <string>
#include <vector>

struct ChatPeer {
    std::string session;
    std::wstring name;
};

// The recipient list: "All Participants" (allText) first, then the display
// name of every participant but oneself, in the list's order.
std::vector<std::wstring> ChatRecipientNames(const std::vector<ChatPeer>& peers, const std::string& ownSession,
                                             const std::wstring& allText);

// The index to select in a rebuilt list: the chosen name where it still is,
// else 0 ("All Participants").
size_t KeepRecipient(const std::vector<std::wstring>& names, const std::wstring& chosen);

// The recipient field for the chosen entry: "ALL" for index 0, else the
// session of the first other participant with that display name; empty when
// none has it (nothing is sent then).
std::string ResolveRecipient(size_t index, const std::wstring& chosen, const std::vector<ChatPeer>& peers,
                             const std::string& ownSession);

// What a change of the input box's text asks for.
enum class ChatInputAction {
    None,   // no line end typed
    Clear,  // a line end in a text of 2 characters or fewer
    Send,   // a longer text with its line end
};
ChatInputAction OnChatInputChanged(const std::wstring& text);

// A received frame, judged against the own session and the participant list.
enum class ChatVerdict {
    ShowToAll,      // shown with the recipient "All"
    ShowToMe,       // shown with the recipient "Me"
    Own,            // sent by this program: already in the history
    NotForMe,       // a private message to someone else
    UnknownSender,  // not in the list (yet)
};
ChatVerdict JudgeChatFrame(const std::string& from, const std::string& to, const std::string& ownSession,
                           bool senderKnown);

// The history holds 16384 characters: it starts again empty when adding
// would pass that.
constexpr size_t kChatHistoryMax = 16384;
bool ChatHistoryRestarts(size_t current, size_t adding);

// "<%s> To <%s>:" with both names filled (no format call on a translated
// text: each "%s" is replaced in turn).
std::wstring ChatHeader(const std::wstring& format, const std::wstring& sender, const std::wstring& recipient);
