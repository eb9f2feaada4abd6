#pragma once
// The rules of the options dialog's proxy page that need no window: which
// controls a proxy type enables, and what the port field may hold.
#include <string>

// Proxy types of the page's radio buttons (the stored "ProxyType").
constexpr int kProxyPageAutoDetect = 0;
constexpr int kProxyPageScript = 1;
constexpr int kProxyPageServer = 2;

// The port stored when the field is left empty.
constexpr int kDefaultProxyPort = 808;

struct ProxyPageEnabled {
    bool radios = false;  // the three type buttons
    bool script = false;  // the script address and its label
    bool server = false;  // address, port, bypass, user name, password
    bool operator==(const ProxyPageEnabled& o) const
    {
        return radios == o.radios && script == o.script && server == o.server;
    }
};

// With "Enable" off nothing is enabled; with it on the radios and the fields
// of the type (none for automatic detection or an unknown type).
ProxyPageEnabled ProxyPageControls(bool enabled, int type);

// The port field: empty (or blanks) gives 808, a decimal number from 1 to
// 65535 gives itself; anything else gives -1 and is refused.
int ParseProxyPort(const std::wstring& text);
