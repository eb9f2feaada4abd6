#pragma once
// Invitations by e-mail: the address checks, the invitation request and its
// reply.
#include <cstdint>
#include <string>
#include <vector>

struct CgiReply;
struct CgiSession;

// -1 no text, 1 empty, 2 no "." or no "@", 3 one of \ / ' !, 4 "," or ";",
// 0 otherwise; tested in that order.
int IsValidEmail(const std::wstring* text);

// Every ";" ends a piece (empty pieces kept); a non-empty rest is one more.
std::vector<std::wstring> SplitAddresses(const std::wstring& text);

// Limits of what one invitation carries, in UTF-16 units (the fields of the
// windows that fill it are held to these).
constexpr size_t kInviteAddressesMax = 2047;
constexpr size_t kInviteCoordinatorMax = 127;
constexpr size_t kInviteMessageMax = 1023;

struct InvitationTexts {
    std::wstring required;
    std::wstring optional;
    std::wstring coordinator;
    std::wstring message;
};

// Why an invitation is not sent, before any request.
enum class InviteCheck {
    Ok,
    NoAddress,           // both lists empty, or an empty piece
    InvalidAddress,      // a required or optional address without "." or "@"
    InvalidCharacters,   // a required or optional address with \ / ' !
    AddressSeparator,    // a required or optional address with "," (no log line)
    InvalidCoordinator,  // the coordinator address without "." or "@"
    CoordinatorCharacters,
    SeveralCoordinators,
};
InviteCheck CheckInvitation(const InvitationTexts& texts);

// The request body, fields in the appliance's order.
std::string InviteBody(const std::vector<std::wstring>& required, const std::vector<std::wstring>& optional,
                       const std::wstring& message, const std::wstring& coordinator,
                       const std::string& meetingNameUtf8);

// The appliance's "Error in sending invitation": also what a reply without a
// readable error number counts as.
constexpr int32_t kInviteErrorUnread = 11;

// The reply: 24 when nothing came back (no response headers), 19 for a proxy
// asking for credentials, else 0 with error set to the number behind "error="
// (up to "&*&*" or the end), 11 when the body has none, is empty or the
// number cannot be read.
int32_t ParseInviteReply(const CgiReply& reply, int32_t& error);

// Sends one invitation; error receives the appliance's error number when the
// result is 0 (never shared through the session, so two at once cannot mix).
int32_t CgiInviteGuests(CgiSession& session, const std::vector<std::wstring>& required,
                        const std::vector<std::wstring>& optional, const std::wstring& coordinator,
                        const std::wstring& message, const std::string& meetingNameUtf8, int32_t& error);
