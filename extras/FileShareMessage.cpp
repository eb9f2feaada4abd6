#include "extras/FileShareMessage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace fileshare {

namespace {

std::string Digits(uint64_t value, int width)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*llu", width, static_cast<unsigned long long>(value));
    return buf;
}

// Reads fixed-width fields ending "\r\n" from a payload; the first failure
// sticks and every later read fails too.
class FieldReader {
public:
    FieldReader(const uint8_t* data, size_t length) : m_data(data), m_length(length) {}

    bool Number(size_t digits, uint64_t& value)
    {
        if (!Has(digits + 2))
            return Fail();
        value = 0;
        for (size_t i = 0; i < digits; ++i) {
            uint8_t c = m_data[m_at + i];
            if (c < '0' || c > '9')
                return Fail();
            value = value * 10 + (c - '0');
        }
        return Line(digits);
    }
    bool Text(size_t width, std::string& out)
    {
        if (!Has(width + 2))
            return Fail();
        out.assign(reinterpret_cast<const char*>(m_data + m_at), width);
        return Line(width);
    }
    bool Ok() const { return m_ok; }
    size_t At() const { return m_at; }

private:
    bool Has(size_t n) const { return m_ok && m_length - m_at >= n; }
    bool Line(size_t width)
    {
        if (m_data[m_at + width] != '\r' || m_data[m_at + width + 1] != '\n')
            return Fail();
        m_at += width + 2;
        return true;
    }
    bool Fail() { return m_ok = false; }

    const uint8_t* m_data;
    size_t m_length;
    size_t m_at = 0;
    bool m_ok = true;
};

} // namespace

std::string NumberField(uint64_t value)
{
    return Digits(value, 24) + "\r\n";
}

std::string HeadText(const Head& head, size_t width)
{
    std::string s = Digits(static_cast<uint64_t>(head.command), 4) + "\r\n";
    if (head.recipients.empty()) {
        s += Digits(kToAll, 4) + "\r\n";
    } else {
        s += Digits(head.recipients.size(), 4) + "\r\n";
    }
    s += head.sender.empty() ? "0\r\n" : "1\r\n";
    if (head.recipients.empty())
        s += std::string(width, '@') + "\r\n";
    for (const std::string& r : head.recipients)
        s += r.substr(0, width) + std::string(width - std::min(width, r.size()), '@') + "\r\n";
    if (!head.sender.empty())
        s += head.sender.substr(0, width) + std::string(width - std::min(width, head.sender.size()), '@') + "\r\n";
    s += Digits(static_cast<uint64_t>(head.fileId), 4) + "\r\n";
    return s;
}

Bytes TextMessage(const Head& head, size_t width, std::string_view fields)
{
    std::string s = HeadText(head, width);
    s += fields;
    Bytes out(s.begin(), s.end());
    out.push_back(0);
    return out;
}

Bytes Announce(const Head& head, size_t width, uint64_t size, std::string_view name)
{
    std::string fields = NumberField(size);
    fields += name;
    fields += "\r\n";
    return TextMessage(head, width, fields);
}

Bytes Chunk(const std::string& user, size_t width, int fileId, uint64_t offset, const uint8_t* data, size_t count)
{
    count = std::min(count, kChunkData);
    Head head;
    head.command = kChunk;
    head.recipients = {user};
    head.fileId = fileId;
    std::string text = HeadText(head, width) + NumberField(offset) + Digits(count, 5) + "\r\n";
    Bytes out(width + kChunkBlock, 0);
    std::memcpy(out.data(), text.data(), text.size());
    if (count)
        std::memcpy(out.data() + text.size(), data, count);
    return out;
}

bool Parsed::Names(const std::string& session) const
{
    return toAll || std::find(recipients.begin(), recipients.end(), session) != recipients.end();
}

bool Parse(const uint8_t* data, size_t length, size_t width, Parsed& out)
{
    out = Parsed();
    if (!data || width == 0)
        return false;
    FieldReader r(data, length);
    uint64_t command = 0, count = 0, flag = 0, fileId = 0;
    r.Number(4, command);
    r.Number(4, count);
    r.Number(1, flag);
    if (!r.Ok() || flag > 1 || count == 0 || (count > kMaxRecipients && count != kToAll))
        return false;
    out.command = static_cast<int>(command);
    out.toAll = count == kToAll;
    // Each id line is width + 2: the count is checked against what is left
    // before any id is read, so a large count never walks past the payload.
    const size_t lines = out.toAll ? 1 : static_cast<size_t>(count);
    if ((length - r.At()) / (width + 2) < lines + flag)
        return false;
    for (size_t i = 0; i < lines; ++i) {
        std::string id;
        if (!r.Text(width, id))
            return false;
        if (!out.toAll)
            out.recipients.push_back(std::move(id));
    }
    if (flag == 1 && !r.Text(width, out.sender))
        return false;
    if (!r.Number(4, fileId))
        return false;
    out.fileId = static_cast<int>(fileId);
    out.fields = data + r.At();
    out.fieldsLength = length - r.At();
    return true;
}

bool ReadNumber(const Parsed& m, uint64_t& value)
{
    FieldReader r(m.fields, m.fieldsLength);
    return r.Number(24, value) && value <= kMaxFileSize;
}

bool ReadChunk(const Parsed& m, ChunkFields& out)
{
    FieldReader r(m.fields, m.fieldsLength);
    uint64_t count = 0;
    if (!r.Number(24, out.offset) || !r.Number(5, count))
        return false;
    if (out.offset > kMaxFileSize || count > kChunkData || count > m.fieldsLength - r.At())
        return false;
    out.count = static_cast<size_t>(count);
    out.data = m.fields + r.At();
    return true;
}

bool ReadAnnounce(const Parsed& m, AnnounceFields& out)
{
    FieldReader r(m.fields, m.fieldsLength);
    if (!r.Number(24, out.size) || out.size > kMaxFileSize)
        return false;
    const char* name = reinterpret_cast<const char*>(m.fields + r.At());
    size_t left = m.fieldsLength - r.At();
    size_t n = 0;
    while (n < left && name[n] != '\0')
        ++n;
    std::string_view text(name, n);
    if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
        text.remove_suffix(2);
    out.name.assign(text);
    return !out.name.empty();
}

} // namespace fileshare
