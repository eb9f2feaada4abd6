// Clipboard text between the host's clipboard (CF_TEXT, lines ending in
// "\r\n") and the viewer (RFB cut text, lines ending in "\n").
#pragma once

#include <cstddef>
#include <string>

// The most the host sends to the viewer in one cut text.
constexpr size_t kMaxHostClipText = 4u * 1024u * 1024u;

// Host clipboard memory (size bytes, not trusted to hold a terminator) to the
// viewer's text: up to the first zero byte, carriage returns dropped. False
// (out untouched) when the text is over kMaxHostClipText.
bool HostClipToViewer(const char* data, size_t size, std::string& out);

// Viewer text to the host's clipboard text: each line feed not already
// preceded by a carriage return gets one.
std::string ViewerClipToHost(const std::string& text);
