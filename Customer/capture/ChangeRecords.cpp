#include "Customer/capture/ChangeRecords.h"

namespace {

bool ReadField(const unsigned char* p, int& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}

} // namespace

std::vector<rfb::Rect> ParseChangeRecords(const void* data, size_t size)
{
    std::vector<rfb::Rect> rects;
    if (!data)
        return rects;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    const size_t count = size / kChangeRecordSize;
    rects.reserve(count);
    for (size_t i = 0; i < count; ++i, p += kChangeRecordSize) {
        int v[4];
        if (!ReadField(p, v[0]) || !ReadField(p + 5, v[1]) || !ReadField(p + 10, v[2]) || !ReadField(p + 15, v[3]))
            continue;
        const rfb::Rect r(v[0], v[1], v[2], v[3]);
        if (!r.is_empty())
            rects.push_back(r);
    }
    return rects;
}
