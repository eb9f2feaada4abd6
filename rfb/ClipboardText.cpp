#include "rfb/ClipboardText.h"

#include <cstring>

bool HostClipToViewer(const char* data, size_t size, std::string& out)
{
    if (!data)
        size = 0;
    const void* end = size ? std::memchr(data, 0, size) : nullptr;
    const size_t n = end ? static_cast<size_t>(static_cast<const char*>(end) - data) : size;
    if (n > kMaxHostClipText)
        return false;
    std::string text;
    text.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (data[i] != '\r')
            text.push_back(data[i]);
    }
    out.swap(text);
    return true;
}

std::string ViewerClipToHost(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}
