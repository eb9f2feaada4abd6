#include "core/base/MediaFileName.h"

#include <cstdio>

namespace {

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
}

} // namespace

std::string RecordingFileNameForTime(int64_t t)
{
    int64_t days = t / 86400;
    int64_t secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    int64_t y;
    unsigned m, d;
    CivilFromDays(days, y, m, d);
    char buf[64];
    std::snprintf(buf, sizeof(buf), "GMT_%04lld-%02u-%02u_%02dh%02dm%02ds.wmv",
                  static_cast<long long>(y), m, d, static_cast<int>(secs / 3600),
                  static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60));
    return buf;
}

std::string NumberedFileName(const std::string& name, unsigned n)
{
    if (n == 0)
        return name;
    const size_t dot = name.rfind('.');
    const size_t at = dot == std::string::npos ? name.size() : dot;
    return name.substr(0, at) + "_" + std::to_string(n + 1) + name.substr(at);
}

std::vector<uint8_t> EncodeMediaFilePath(const std::u16string& path)
{
    std::vector<uint8_t> out;
    out.reserve(2 + path.size() * 2);
    out.push_back(kMediaPathMarker);
    for (char16_t c : path) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.push_back(0);
    return out;
}

std::optional<MediaPathValue> DecodeMediaFilePath(const uint8_t* data, size_t length)
{
    if (data == nullptr || length == 0)
        return std::nullopt;
    MediaPathValue v;
    if (data[0] == kMediaPathMarker) {
        v.isUtf16 = true;
        size_t n = (length - 1) / 2;
        for (size_t i = 0; i < n; ++i) {
            char16_t c = static_cast<char16_t>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
            if (c == 0)
                break;
            v.utf16.push_back(c);
        }
        return v;
    }
    size_t n = 0;
    while (n < length && data[n] != 0)
        ++n;
    v.ansi.assign(reinterpret_cast<const char*>(data), n);
    return v;
}
