#include "appliance/ui/CertificateText.h"

#include <cctype>

namespace {

bool Digits(const std::string& s, size_t from, size_t count, int& value)
{
    if (from + count > s.size())
        return false;
    value = 0;
    for (size_t i = from; i < from + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i])))
            return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

} // namespace

std::string AlertDate(const std::string& stamp)
{
    int year = 0, month = 0, day = 0;
    if (!Digits(stamp, 0, 4, year) || stamp.size() < 10 || stamp[4] != '-' || !Digits(stamp, 5, 2, month) ||
        stamp[7] != '-' || !Digits(stamp, 8, 2, day) || month < 1 || month > 12 || day < 1 || day > 31)
        return {};
    return std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day);
}

std::string AfterFirstLineFeed(const std::string& text)
{
    const size_t lf = text.find('\n');
    return lf == std::string::npos ? text : text.substr(lf + 1);
}

