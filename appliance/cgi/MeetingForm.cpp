#include "appliance/cgi/MeetingForm.h"

#include <algorithm>
#include <vector>

#include "core/base/PlainSecret.h"
#include "core/base/StoredSecret.h"

namespace {

template <typename Text>
Text Escape(const Text& text)
{
    Text out;
    out.reserve(text.size());
    for (auto c : text) {
        if (c == '#') {
            out += static_cast<typename Text::value_type>('#');
            out += static_cast<typename Text::value_type>('#');
        } else if (c == ';') {
            out += static_cast<typename Text::value_type>('#');
            out += static_cast<typename Text::value_type>('5');
            out += static_cast<typename Text::value_type>('9');
        } else {
            out += c;
        }
    }
    return out;
}

template <typename Text>
Text Unescape(const Text& text)
{
    Text out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '#' && i + 1 < text.size() && text[i + 1] == '#') {
            out += text[i];
            ++i;
        } else if (text[i] == '#' && i + 2 < text.size() && text[i + 1] == '5' && text[i + 2] == '9') {
            out += static_cast<typename Text::value_type>(';');
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

template <typename Char>
bool HasForbidden(const std::basic_string<Char>& text)
{
    static const char kForbidden[] = "\\/:*?\"<>|";
    return std::any_of(text.begin(), text.end(), [](Char c) {
        for (const char* f = kForbidden; *f; ++f)
            if (c == static_cast<Char>(*f))
                return true;
        return false;
    });
}

// The code's plain text through f, protected again.
template <typename F>
bool RecodeSecret(s_mem& secret, F f)
{
    if (secret.IsEmpty())
        return true;
    std::string text;
    {
        PlainSecret plain(secret);
        text = f(plain.Text());
    }
    secret.Clear();
    if (text.empty())
        return true;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    std::fill(text.begin(), text.end(), '\0');
    const bool ok = EncryptStoredString(buffer.data(), secret) == 1;
    std::fill(buffer.begin(), buffer.end(), '\0');
    return ok;
}

} // namespace

NameCodeCheck CheckNameAndCode(std::wstring& name, const std::string& code)
{
    const size_t first = name.find_first_not_of(L" \t");
    name.erase(0, first == std::wstring::npos ? name.size() : first);
    if (name.empty() || code.empty())
        return NameCodeCheck::Empty;
    if (HasForbidden(name) || HasForbidden(code))
        return NameCodeCheck::BadCharacter;
    return NameCodeCheck::Ok;
}

std::wstring EscapeField(const std::wstring& text) { return Escape(text); }
std::string EscapeField(const std::string& text) { return Escape(text); }
std::wstring UnescapeField(const std::wstring& text) { return Unescape(text); }
std::string UnescapeField(const std::string& text) { return Unescape(text); }

bool EscapeMeetingInfo(MeetingInfo& info)
{
    for (std::wstring* f : {&info.meetingname, &info.meetingdescription, &info.requrieemails, &info.optionalemails,
                            &info.inviteremail, &info.custmsg})
        *f = Escape(*f);
    return RecodeSecret(info.meetingcode, [](const std::string& t) { return Escape(t); });
}

bool UnescapeMeetingInfo(MeetingInfo& info)
{
    for (std::wstring* f : {&info.meetingname, &info.meetingdescription, &info.requrieemails, &info.optionalemails,
                            &info.inviteremail, &info.custmsg})
        *f = Unescape(*f);
    return RecodeSecret(info.meetingcode, [](const std::string& t) { return Unescape(t); });
}

std::wstring AddressesToLines(const std::wstring& addresses)
{
    std::wstring out;
    out.reserve(addresses.size() + 8);
    for (wchar_t c : addresses) {
        if (c == L';')
            out += L"\r\n";
        else
            out += c;
    }
    return out;
}

std::wstring LinesToAddresses(const std::wstring& lines)
{
    std::wstring out;
    size_t at = 0;
    while (at < lines.size()) {
        const size_t crlf = lines.find(L"\r\n", at);
        if (crlf == std::wstring::npos) {
            out += lines.substr(at);
            break;
        }
        out += lines.substr(at, crlf - at);
        out += L';';
        at = crlf + 2;
    }
    return out;
}
