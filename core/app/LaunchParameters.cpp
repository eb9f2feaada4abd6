#include "core/app/LaunchParameters.h"

#include "core/base/Base64.h"

#include <cctype>

namespace {

// Portal and display names have no wire bound of their own; this keeps a
// hostile link from carrying megabytes into the login fields.
constexpr size_t kMaxTextFieldLength = 1024;

LaunchRequest Fail(std::string why, bool hadArguments = false)
{
    LaunchRequest r;
    r.error = std::move(why);
    r.hadArguments = hadArguments;
    return r;
}

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Line breaks, NULs and other control bytes have no place in a name or an
// id: a NUL would silently cut it in the packet fields, a line break would
// split a request header.
bool HasControlCharacters(const std::string& text)
{
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return true;
    }
    return false;
}

std::optional<long> ParseSmallDecimal(const std::string& text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    long v = 0;
    for (char c : text) {
        if (!IsAsciiDigit(c))
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// Drops the first UTF-8 character (the switch in front of an argument); an
// empty argument stays empty.
std::string DropSwitch(const std::string& arg)
{
    if (arg.empty())
        return arg;
    size_t i = 1;
    while (i < arg.size() && (static_cast<unsigned char>(arg[i]) & 0xC0) == 0x80)
        ++i;
    return arg.substr(i);
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// Per-mode positions of the fields after host and port.
enum class Field { SessionId, PortalName, DisplayName, MeetingId };

const std::vector<Field>& FieldsAfterPort(int mode)
{
    static const std::vector<Field> m1{Field::SessionId, Field::PortalName, Field::DisplayName};
    static const std::vector<Field> m2{Field::MeetingId, Field::PortalName};
    static const std::vector<Field> m3{Field::SessionId, Field::DisplayName, Field::MeetingId};
    static const std::vector<Field> m4{};
    switch (mode) {
    case 1: return m1;
    case 2: return m2;
    case 3: return m3;
    default: return m4;
    }
}

const char* FieldName(Field f)
{
    switch (f) {
    case Field::SessionId: return "session id";
    case Field::PortalName: return "portal name";
    case Field::DisplayName: return "display name";
    case Field::MeetingId: return "meeting id";
    }
    return "";
}

// Fills fields from values laid out as host, port, then the mode's fields.
// A value that is absent leaves its field unset. Returns an error text or "".
std::string ApplyPositional(int mode, const std::vector<std::string>& values, LaunchFields& out)
{
    if (values.size() > 0) {
        if (!IsValidApplianceHost(values[0]))
            return values[0].empty() ? "The appliance host is empty."
                                     : "The appliance host \"" + values[0].substr(0, 64) +
                                           "\" is not a valid host name or address.";
        out.applianceHost = values[0];
    }
    if (values.size() > 1) {
        auto port = ParsePort(values[1]);
        if (!port)
            return "The port \"" + values[1].substr(0, 16) + "\" is not a number from 1 to 65535.";
        out.appliancePort = *port;
    }
    const auto& rest = FieldsAfterPort(mode);
    for (size_t i = 0; i < rest.size() && i + 2 < values.size(); ++i) {
        const std::string& v = values[i + 2];
        Field f = rest[i];
        bool identity = f == Field::SessionId || f == Field::MeetingId;
        if (identity && v.empty())
            return std::string("The ") + FieldName(f) + " is empty.";
        if (v.size() > (identity ? kMaxIdentityLength : kMaxTextFieldLength))
            return std::string("The ") + FieldName(f) + " is too long.";
        if (HasControlCharacters(v))
            return std::string("The ") + FieldName(f) + " holds control characters.";
        switch (f) {
        case Field::SessionId: out.ownSessionId = v; break;
        case Field::PortalName: out.portalName = v; break;
        case Field::DisplayName: out.ownDisplayName = v; break;
        case Field::MeetingId: out.meetingId = v; break;
        }
    }
    return "";
}

// Removes every open..close pair, each from an opening character through the
// next closing one; an opening without a closing one stays.
std::string RemoveBracketed(std::string s, char open, char close)
{
    for (;;) {
        size_t b = s.find(open);
        if (b == std::string::npos)
            return s;
        size_t e = s.find(close, b + 1);
        if (e == std::string::npos)
            return s;
        s.erase(b, e - b + 1);
    }
}

bool EndsWithExe(const std::string& s)
{
    if (s.size() < 4)
        return false;
    std::string tail = s.substr(s.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".exe";
}

// The first count fields joined with '-' again.
std::string JoinFields(const std::vector<std::string>& fields, size_t count)
{
    std::string joined = fields[0];
    for (size_t i = 1; i < count; ++i)
        joined += "-" + fields[i];
    return joined;
}

std::vector<std::string> Split(const std::string& text, char sep, size_t maxPieces)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (pieces.size() + 1 < maxPieces) {
        size_t at = text.find(sep, start);
        if (at == std::string::npos)
            break;
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

} // namespace

bool IsValidApplianceHost(const std::string& host)
{
    if (host.empty() || host.size() > kMaxHostLength)
        return false;
    for (char c : host) {
        bool ok = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' ||
                  c == ':' || c == '[' || c == ']';
        if (!ok)
            return false;
    }
    return true;
}

std::optional<uint16_t> ParsePort(const std::string& text)
{
    auto v = ParseSmallDecimal(text);
    if (!v || *v < 1 || *v > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(*v);
}

bool HasLaunchLink(const std::string& commandLine)
{
    return commandLine.find(kLinkPrefix) != std::string::npos;
}

LaunchRequest ParseLaunchLink(const std::string& commandLine)
{
    size_t at = commandLine.find(kLinkPrefix);
    if (at == std::string::npos)
        return Fail("The command line holds no parlemo:// link.");
    std::string payload = commandLine.substr(at + sizeof(kLinkPrefix) - 1);
    // The registered command quotes the link, so it ends in "/\"". Neither a
    // quote nor white space belongs to Base64, so either also ends it.
    size_t end = payload.find("/\"");
    for (size_t i = 0; i < payload.size() && i < end; ++i) {
        if (payload[i] == '"' || std::isspace(static_cast<unsigned char>(payload[i]))) {
            end = i;
            break;
        }
    }
    if (end != std::string::npos)
        payload.resize(end);

    std::string decoded;
    bool ok = TryBase64Decode(payload.c_str(), decoded);
    // Unquoted, a browser's trailing slash reaches us as part of the payload.
    if (!ok && !payload.empty() && payload.back() == '/') {
        payload.pop_back();
        ok = TryBase64Decode(payload.c_str(), decoded);
    }
    if (!ok)
        return Fail("The parlemo:// link is not valid Base64.");
    if (decoded.empty())
        return Fail("The parlemo:// link carries no parameters.");

    // At most three pieces: the session id's Base64 may itself hold '/'.
    std::vector<std::string> pieces = Split(decoded, '/', 3);
    LaunchRequest r;
    auto mode = ParseSmallDecimal(pieces[0]);
    r.mode = (mode && *mode == 1) ? kLaunchBrowserSession : kLaunchLogin;
    if (pieces.size() > 1) {
        if (!IsValidApplianceHost(pieces[1]))
            return Fail(pieces[1].empty() ? "The link's appliance host is empty."
                                          : "The link's appliance host is not a valid host name or address.");
        r.fields.applianceHost = pieces[1];
    }
    if (pieces.size() > 2) {
        std::string session;
        if (!TryBase64Decode(pieces[2].c_str(), session))
            return Fail("The link's session id is not valid Base64.");
        if (session.size() > kMaxIdentityLength)
            return Fail("The link's session id is too long.");
        if (HasControlCharacters(session))
            return Fail("The link's session id holds control characters.");
        r.fields.ownSessionId = session;
    }
    return r;
}

LaunchRequest ParseLaunchArguments(const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return LaunchRequest{};
    std::vector<std::string> values;
    for (size_t i = 1; i < args.size(); ++i)
        values.push_back(DropSwitch(args[i]));

    auto mode = ParseSmallDecimal(values[0]);
    if (!mode)
        return Fail("The launch mode \"" + values[0].substr(0, 16) + "\" is not a number.", true);
    if (*mode < 1 || *mode > 4)
        return Fail("The launch mode " + std::to_string(*mode) + " is unknown.", true);

    LaunchRequest r;
    r.hadArguments = true;
    r.mode = static_cast<int>(*mode);
    values.erase(values.begin());
    std::string error = ApplyPositional(r.mode, values, r.fields);
    if (!error.empty())
        return Fail(error, true);
    return r;
}

LaunchRequest ParseLaunchFileName(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    base = RemoveBracketed(base, '[', ']');
    base = RemoveBracketed(base, '(', ')');
    if (EndsWithExe(base))
        base.resize(base.size() - 4);

    std::vector<std::string> fields = Split(base, '-', std::string::npos);
    for (auto& f : fields)
        f = Trim(f);
    if (fields.size() <= 1)
        return LaunchRequest{};
    auto mode = ParseSmallDecimal(fields[1]);
    // A renamed copy whose second field is no mode is just a name.
    if (!mode || *mode < 1 || *mode > 4)
        return LaunchRequest{};

    // Fields: name, mode, host, port, then the mode's own. Host names often
    // carry '-': when there are more fields than the mode has, the surplus
    // belongs to the host, provided a valid port follows it.
    std::vector<std::string> values(fields.begin() + 2, fields.end());
    size_t expected = 2 + FieldsAfterPort(static_cast<int>(*mode)).size();
    size_t portAt = 1;
    if (values.size() > expected) {
        portAt = values.size() - expected + 1;
        if (!ParsePort(values[portAt]) || !IsValidApplianceHost(JoinFields(values, portAt)))
            return Fail("The program's file name has more '-' fields than its launch mode "
                        "takes, and they do not form a host name and port.");
    } else if (values.size() > 2 && !ParsePort(values[1])) {
        // Fewer fields than the mode takes (the last ones left out) and no
        // port after the first: the host carried '-' when exactly one later
        // field can be its port.
        size_t candidates = 0;
        for (size_t i = 2; i < values.size(); ++i) {
            if (ParsePort(values[i]) && IsValidApplianceHost(JoinFields(values, i))) {
                portAt = i;
                ++candidates;
            }
        }
        if (candidates > 1)
            return Fail("The program's file name does not tell its host name and port apart.");
    }
    if (portAt > 1) {
        values[0] = JoinFields(values, portAt);
        values.erase(values.begin() + 1, values.begin() + static_cast<long>(portAt));
    }

    LaunchRequest r;
    r.mode = static_cast<int>(*mode);
    std::string error = ApplyPositional(r.mode, values, r.fields);
    if (!error.empty())
        return Fail(error);
    return r;
}

bool IsUriSchemeRequest(const std::vector<std::string>& args)
{
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "URIScheme" || a == "-URIScheme" || a == "/URIScheme")
            return true;
    }
    return false;
}
