#include "Customer/capture/ChangeRecordsMessage.h"

#include "Customer/capture/ChangeRecords.h"
#include "core/base/UpdateMessages.h"

#include <cstdint>

WPARAM PackRectHalves(int a, int b)
{
    return static_cast<WPARAM>(static_cast<uint16_t>(static_cast<int16_t>(a))) |
           static_cast<WPARAM>(static_cast<uint16_t>(static_cast<int16_t>(b))) << 16;
}

int PostChangeRecords(HWND sink, const COPYDATASTRUCT* data)
{
    if (!data || data->dwData != kChangeRecordsId || !g_msgUpdateDrawRect)
        return 0;
    int posted = 0;
    for (const rfb::Rect& r : ParseChangeRecords(data->lpData, data->cbData)) {
        if (PostMessageW(sink, g_msgUpdateDrawRect, PackRectHalves(r.left, r.top),
                         static_cast<LPARAM>(PackRectHalves(r.right, r.bottom))))
            ++posted;
    }
    return posted;
}
