// The captcha address from any host text: either refused, or one https
// address whose authority holds nothing that could leave it.
#include "core/base/CaptchaPage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string host(reinterpret_cast<const char*>(data), size);
    std::string address = MakeCaptchaAddress(host);
    if (address.empty())
        return 0;
    const std::string scheme = "https://";
    const std::string path = "/cgi-bin/geoBotCaptcha?target=kx";
    if (address.size() >= 300 || address.compare(0, scheme.size(), scheme) != 0 ||
        address.size() < scheme.size() + path.size() + 1 ||
        address.compare(address.size() - path.size(), path.size(), path) != 0)
        abort();
    std::string authority = address.substr(scheme.size(), address.size() - scheme.size() - path.size());
    for (char c : authority) {
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
                  c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
        if (!ok)
            abort();
    }
    return 0;
}
