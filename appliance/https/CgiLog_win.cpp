#include "appliance/https/CgiLog_win.h"

#include "core/base/DHLog.h"
#include "core/base/TextConvert.h"

CgiLog::Writer DHLogWriter() {
    return [](uint8_t categories, int level, bool force, const std::string& text) {
        const std::wstring wide = AnsiToWide(text, kCodePageUtf8);
        DHLog::Instance().PrintW(categories, level, force, L"%s", wide.c_str());
    };
}
