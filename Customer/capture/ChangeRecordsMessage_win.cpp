#include "Customer/capture/ChangeRecordsMessage.h"

#include "Customer/capture/ChangeRecords.h"
#include "Customer/capture/HookRect.h"
#include "core/base/UpdateMessages.h"

int PostChangeRecords(HWND sink, const COPYDATASTRUCT* data)
{
    if (!data || data->dwData != kChangeRecordsId || !g_msgUpdateDrawRect)
        return 0;
    int posted = 0;
    for (const rfb::Rect& r : ParseChangeRecords(data->lpData, data->cbData)) {
        if (PostMessageW(sink, g_msgUpdateDrawRect, static_cast<WPARAM>(PackHookPair(r.left, r.top)),
                         static_cast<LPARAM>(PackHookPair(r.right, r.bottom))))
            ++posted;
    }
    return posted;
}
