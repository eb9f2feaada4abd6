#include "appliance/cgi/KeyedItems.h"

#include <cstring>

bool KeyedItems::At(const char* prefix) const {
    return !m_ended && m_text.compare(m_pos, std::strlen(prefix), prefix) == 0;
}

bool KeyedItems::Take(const char* key, std::string& value) {
    if (!At(key)) return false;
    size_t start = m_pos + std::strlen(key);
    size_t semi = m_text.find(';', start);
    if (semi == std::string::npos) {
        value = m_text.substr(start);
        m_ended = true;
        return true;
    }
    value = m_text.substr(start, semi - start);
    m_pos = semi + 1;
    return true;
}

bool KeyedItems::NextRecord() {
    if (m_ended) return false;
    size_t crlf = m_text.find("\r\n", m_pos);
    if (crlf == std::string::npos) {
        m_ended = true;
        return false;
    }
    m_pos = crlf + 2;
    return true;
}
