#include "appliance/ui/SetupOutcome.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/ui/MeetingSetupResources.h"

OutcomeTexts StartRefusedTexts(int32_t result)
{
    switch (result) {
    case CGI_MEETING_NAME_USED: return {IDS_NAME_USED, IDS_LOG_NAME_USED};
    case CGI_MEETING_LIMIT: return {IDS_ROOM_LIMIT, IDS_LOG_ROOM_LIMIT};
    case CGI_NO_PORTAL: return {IDS_PORTAL_REFUSED, IDS_LOG_PORTAL_REFUSED};
    default: return {};
    }
}

OutcomeTexts JoinRefusedTexts(int32_t result)
{
    switch (result) {
    case CGI_MEETING_PASSWORD_NEEDED: return {IDS_JOIN_NEED_PASSWORD, IDS_LOG_JOIN_NEED_PASSWORD};
    case CGI_BAD_PASSWORD_OR_CERT: return {IDS_JOIN_WRONG_CODE, IDS_LOG_JOIN_WRONG_CODE};
    case CGI_MEETING_FULL: return {IDS_JOIN_ROOM_FULL, IDS_LOG_JOIN_ROOM_FULL};
    case CGI_NO_PORTAL: return {IDS_JOIN_NO_PORTAL, IDS_LOG_JOIN_NO_PORTAL};
    case CGI_MEETING_SESSION_FAILED: return {IDS_JOIN_NO_SESSION, IDS_LOG_JOIN_NO_SESSION};
    case CGI_NO_MEETING_SETTINGS: return {IDS_JOIN_NO_SETTINGS, IDS_LOG_JOIN_NO_SETTINGS};
    case CGI_INVITATION_REQUIRED: return {IDS_JOIN_INVITATION_ONLY, IDS_LOG_JOIN_INVITATION_ONLY};
    case CGI_NOT_OPEN_YET: return {IDS_JOIN_NOT_OPEN, IDS_LOG_JOIN_NOT_OPEN};
    default: return {};
    }
}

unsigned InviteCheckLog(InviteCheck check)
{
    switch (check) {
    case InviteCheck::NoAddress: return IDS_LOG_INVITE_NO_ADDRESS;
    case InviteCheck::InvalidAddress:
    case InviteCheck::InvalidCoordinator: return IDS_LOG_INVITE_INVALID;
    case InviteCheck::InvalidCharacters: return IDS_LOG_INVITE_CHARACTERS;
    case InviteCheck::CoordinatorCharacters: return IDS_LOG_COORDINATOR_CHARACTERS;
    case InviteCheck::SeveralCoordinators: return IDS_LOG_SEVERAL_COORDINATORS;
    default: return 0;
    }
}

unsigned InviteErrorLog(int32_t error)
{
    switch (error) {
    case 0: return IDS_LOG_INVITE_SENT;
    case 1: return IDS_LOG_INVITE_MESSAGE_INVALID;
    case 2:
    case 3: return IDS_LOG_INVITE_ADDRESS_INVALID;
    case 4:
    case 5: return IDS_LOG_INVITE_NO_SMTP;
    case 6: return IDS_LOG_INVITE_MESSAGE_INVALID2;
    case 7: return IDS_LOG_INVITE_NO_RELAY;
    case 11: return IDS_LOG_INVITE_ERROR;
    case 18:
    case 19:
    case 20: return IDS_LOG_INVITE_AUTH;
    case 21: return IDS_LOG_INVITE_TLS;
    default: return error >= 22 && error <= 27 ? IDS_LOG_INVITE_SMTP_REPLY : IDS_LOG_INVITE_SERVER;
    }
}

OutcomeTexts DeleteTexts(int32_t result, bool named)
{
    switch (result) {
    case CGI_OK: return named ? OutcomeTexts{IDS_DELETED_NAMED, IDS_LOG_DELETED_NAMED}
                              : OutcomeTexts{IDS_DELETED_PLAIN, IDS_LOG_DELETED_PLAIN};
    case CGI_NOT_OWNER: return {IDS_DELETE_NOT_OWNER, IDS_LOG_DELETE_NOT_OWNER};
    case CGI_SAVED_MEETING_NOT_FOUND:
        return named ? OutcomeTexts{IDS_DELETE_NOT_FOUND_NAMED, IDS_LOG_DELETE_NOT_FOUND_NAMED}
                     : OutcomeTexts{IDS_DELETE_NOT_FOUND, IDS_LOG_DELETE_NOT_FOUND};
    default: return {};
    }
}
