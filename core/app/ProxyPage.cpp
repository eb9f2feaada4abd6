#include "core/app/ProxyPage.h"

ProxyPageEnabled ProxyPageControls(bool enabled, int type)
{
    ProxyPageEnabled on;
    if (!enabled)
        return on;
    on.radios = true;
    on.script = type == kProxyPageScript;
    on.server = type == kProxyPageServer;
    return on;
}

int ParseProxyPort(const std::wstring& text)
{
    size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos)
        return kDefaultProxyPort;
    size_t last = text.find_last_not_of(L' ');
    long value = 0;
    for (size_t i = first; i <= last; ++i) {
        wchar_t c = text[i];
        if (c < L'0' || c > L'9')
            return -1;
        value = value * 10 + (c - L'0');
        if (value > 65535)
            return -1;
    }
    return value >= 1 ? static_cast<int>(value) : -1;
}
