#pragma once
// Reader of the appliance's list replies: records made of "key=value;" items
// in a fixed key order, each item optional, each starting exactly where the
// previous one ended; a record ends at the next CRLF.
#include <cstddef>
#include <string>

class KeyedItems {
public:
    explicit KeyedItems(const std::string& text) : m_text(text) {}

    // When the text at the cursor begins with key: value is the text up to the
    // next ";", the cursor moves past it, and the result is true. A value with
    // no ";" behind it ends the reading (Ended()) and gives the rest of the text.
    bool Take(const char* key, std::string& value);
    // True when the text at the cursor begins with prefix.
    bool At(const char* prefix) const;
    // Moves behind the next CRLF; false (and Ended()) when there is none.
    bool NextRecord();
    bool Ended() const { return m_ended; }
    bool AtEnd() const { return m_ended || m_pos >= m_text.size(); }

private:
    const std::string& m_text;
    size_t m_pos = 0;
    bool m_ended = false;
};
