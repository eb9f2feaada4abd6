#include "rfb/ClipboardAccess_win.h"

#include "rfb/ClipboardText.h"

#include <cstring>

namespace {

class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner) : m_open(OpenClipboard(owner) != FALSE) {}
    ~OpenedClipboard()
    {
        if (m_open)
            CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    explicit operator bool() const { return m_open; }

private:
    bool m_open;
};

} // namespace

ClipboardRead ReadClipboardText(HWND owner, std::string& text)
{
    OpenedClipboard clip(owner);
    if (!clip)
        return ClipboardRead::Busy;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (!data)
        return ClipboardRead::NoText;
    const void* p = GlobalLock(data);
    if (!p)
        return ClipboardRead::NoText;
    // The block's size bounds the text, terminated or not.
    const bool ok = HostClipToViewer(static_cast<const char*>(p), GlobalSize(data), text);
    GlobalUnlock(data);
    return ok ? ClipboardRead::Text : ClipboardRead::TooLong;
}

bool PutClipboardText(HWND owner, const std::string& viewerText)
{
    const std::string text = ViewerClipToHost(viewerText);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
    if (!mem)
        return false;
    void* p = GlobalLock(mem);
    if (!p) {
        GlobalFree(mem);
        return false;
    }
    std::memcpy(p, text.c_str(), text.size() + 1);
    GlobalUnlock(mem);
    OpenedClipboard clip(owner);
    if (!clip || !EmptyClipboard() || !SetClipboardData(CF_TEXT, mem)) {
        GlobalFree(mem);
        return false;
    }
    return true;
}
