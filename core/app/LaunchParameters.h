#pragma once
// How the program was asked to start: a "parlemo://" link from the portal,
// positional arguments from a script, or fields carried in the program's own
// file name. Everything here is untrusted text; each parser returns the launch
// mode and the fields it found, or mode 0 with an error text, never a partial
// mix; a field with control characters (NUL, line breaks) is an error. Text
// is UTF-8 throughout (the Win32 side converts the wide command line and keeps
// the display name lossless that way).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum LaunchMode : int {
    kLaunchLogin = 0,           // login window
    kLaunchBrowserSession = 1,  // session test, then the meeting list
    kLaunchMeetingLink = 2,     // meeting test, then the join worker
    kLaunchSessionMeeting = 3,  // session test, then enter the meeting
    kLaunchPresetServer = 4,    // login window with the server filled in
};

constexpr uint16_t kDefaultAppliancePort = 443;
// Identity fields travel in 128-byte zero-terminated packet fields.
constexpr size_t kMaxIdentityLength = 127;
constexpr size_t kMaxHostLength = 253;

// Fields the launch sets; an absent field leaves the manager's value as it is.
struct LaunchFields {
    std::optional<std::string> applianceHost;
    std::optional<uint16_t> appliancePort;
    std::optional<std::string> ownSessionId;
    std::optional<std::string> ownDisplayName;  // UTF-8 of the wide name
    std::optional<std::string> portalName;
    std::optional<std::string> meetingId;
};

struct LaunchRequest {
    int mode = kLaunchLogin;
    LaunchFields fields;
    // Non-empty when the input was malformed; mode is then 0 and no field set.
    std::string error;
    // The argument form was used: the old Startup shortcut is to be removed.
    bool hadArguments = false;
};

constexpr char kLinkPrefix[] = "parlemo://";

// True when the text holds a "parlemo://" link (the link form is then used).
bool HasLaunchLink(const std::string& commandLine);

// The link form: the payload after "parlemo://" up to the first "/\"" (or the
// end), Base64 text of "mode/host/Base64(session id)".
LaunchRequest ParseLaunchLink(const std::string& commandLine);

// The argument form: args[0] is the program; each later argument has a switch
// character in front of it. args[1] is the mode.
LaunchRequest ParseLaunchArguments(const std::vector<std::string>& args);

// The file-name form: "<name>-<mode>-<host>-<port>[-...].exe", bracketed
// download suffixes removed. path may be a full path (either slash).
LaunchRequest ParseLaunchFileName(const std::string& path);

// True when one argument (after args[0]) asks for the URI-scheme registration:
// "URIScheme", optionally behind one '-' or '/'.
bool IsUriSchemeRequest(const std::vector<std::string>& args);

// Host syntax accepted from a launch: 1-253 characters of letters, digits,
// '-', '.', '_' (names), ':' and '[', ']' (IPv6).
bool IsValidApplianceHost(const std::string& host);

// Decimal 1-65535 with nothing else around it.
std::optional<uint16_t> ParsePort(const std::string& text);
