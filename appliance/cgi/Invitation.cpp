#include "appliance/cgi/Invitation.h"

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"

namespace {

bool HasAny(const std::wstring& text, const wchar_t* characters)
{
    return text.find_first_of(characters) != std::wstring::npos;
}

int FirstFailure(const std::vector<std::wstring>& list)
{
    for (const std::wstring& a : list) {
        const int code = IsValidEmail(&a);
        if (code != 0)
            return code;
    }
    return 0;
}

} // namespace

int IsValidEmail(const std::wstring* text)
{
    if (!text)
        return -1;
    if (text->empty())
        return 1;
    if (!HasAny(*text, L".") || !HasAny(*text, L"@"))
        return 2;
    if (HasAny(*text, L"\\/'!"))
        return 3;
    if (HasAny(*text, L",;"))
        return 4;
    return 0;
}

std::vector<std::wstring> SplitAddresses(const std::wstring& text)
{
    std::vector<std::wstring> out;
    size_t at = 0;
    for (size_t sep = text.find(L';'); sep != std::wstring::npos; sep = text.find(L';', at)) {
        out.push_back(text.substr(at, sep - at));
        at = sep + 1;
    }
    if (at < text.size())
        out.push_back(text.substr(at));
    return out;
}

InviteCheck CheckInvitation(const InvitationTexts& texts)
{
    const std::vector<std::wstring> required = SplitAddresses(texts.required);
    const std::vector<std::wstring> optional = SplitAddresses(texts.optional);
    int code = 1;
    if (!required.empty() || !optional.empty()) {
        code = FirstFailure(required);
        if (code == 0)
            code = FirstFailure(optional);
    }
    switch (code) {
    case 0: break;
    case 2: return InviteCheck::InvalidAddress;
    case 3: return InviteCheck::InvalidCharacters;
    case 4: return InviteCheck::AddressSeparator;
    default: return InviteCheck::NoAddress;
    }
    switch (IsValidEmail(&texts.coordinator)) {
    case 2: return InviteCheck::InvalidCoordinator;
    case 3: return InviteCheck::CoordinatorCharacters;
    case 4: return InviteCheck::SeveralCoordinators;
    default: return InviteCheck::Ok;
    }
}

std::string InviteBody(const std::vector<std::wstring>& required, const std::vector<std::wstring>& optional,
                       const std::wstring& message, const std::wstring& coordinator,
                       const std::string& meetingNameUtf8)
{
    std::string body = "inviteguest=true&invitecount=" + std::to_string(required.size());
    for (size_t i = 0; i < required.size(); ++i)
        body += "&t" + std::to_string(i) + "=" + UrlEncodeWide(required[i]);
    body += "&optionalcount=" + std::to_string(optional.size());
    for (size_t i = 0; i < optional.size(); ++i)
        body += "&p" + std::to_string(i) + "=" + UrlEncodeWide(optional[i]);
    body += "&custommsg=" + UrlEncodeWide(message) + "&techemail=" + UrlEncodeWide(coordinator) +
            "&dhsac=true&meetingname=" + UrlEncode(meetingNameUtf8);
    return body;
}

int32_t ParseInviteReply(const CgiReply& reply, int32_t& error)
{
    if (reply.status != CgiTransportStatus::Ok || reply.headers.empty())
        return CGI_NO_RESPONSE;
    const size_t blank = reply.headers.find(' ');
    if (blank != std::string::npos && reply.headers.compare(blank + 1, 3, "407") == 0)
        return CGI_PROXY_AUTH_REQUIRED;
    error = kInviteErrorUnread;
    const size_t at = reply.body.find("error=");
    if (at == std::string::npos)
        return CGI_OK;
    size_t end = reply.body.find("&*&*", at);
    if (end == std::string::npos)
        end = reply.body.size();
    const std::string digits = reply.body.substr(at + 6, end - at - 6);
    if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos)
        return CGI_OK;
    error = std::stoi(digits);
    return CGI_OK;
}

int32_t CgiInviteGuests(CgiSession& session, const std::vector<std::wstring>& required,
                        const std::vector<std::wstring>& optional, const std::wstring& coordinator,
                        const std::wstring& message, const std::string& meetingNameUtf8, int32_t& error)
{
    const CgiReply reply = Exchange(
        session, MakeCookiePost(session, "/cgi-bin/MeetingInvite",
                                InviteBody(required, optional, message, coordinator, meetingNameUtf8)));
    return ParseInviteReply(reply, error);
}
