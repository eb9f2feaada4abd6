#include "core/base/CaptchaPage.h"

#include <windows.h>
#include <shellapi.h>

bool OpenCaptchaPage(const std::string& host)
{
    std::string address = MakeCaptchaAddress(host);
    if (address.empty())
        return false;
    HINSTANCE result = ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOW);
    // Values above 32 mean the shell started something for it.
    return reinterpret_cast<INT_PTR>(result) > 32;
}
