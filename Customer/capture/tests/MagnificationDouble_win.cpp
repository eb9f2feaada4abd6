// A test double of the Magnification API, built as "magnification.dll" and
// put in the prefix's system folder by the magnifier test: the six functions
// the capture loads, a "Magnifier" window class, a record of the exclusion
// list, and on each MagSetWindowSource a synthetic frame of the size and
// stride the test sets, handed to the scaling callback.
#include <windows.h>

#include <magnification.h>

#include <cstdint>
#include <vector>

namespace {

using Callback = BOOL(CALLBACK*)(HWND, void*, MAGIMAGEHEADER, void*, MAGIMAGEHEADER, RECT, RECT, HRGN);

Callback g_callback = nullptr;
std::vector<HWND> g_filter;
int g_width = 64, g_height = 48, g_stride = 64 * 4;
int g_sources = 0;
float g_transform = 0;

} // namespace

// The frame's pixel at (x, y), top-down: what the test expects back.
extern "C" __declspec(dllexport) uint32_t DoublePixel(int x, int y)
{
    return 0xFF000000u | static_cast<uint32_t>((x * 7) & 255) << 16 | static_cast<uint32_t>((y * 5) & 255) << 8 |
           static_cast<uint32_t>((x + y) & 255);
}

extern "C" __declspec(dllexport) void DoubleSetFrame(int width, int height, int stride)
{
    g_width = width;
    g_height = height;
    g_stride = stride;
}

extern "C" __declspec(dllexport) int DoubleFilterCount()
{
    return static_cast<int>(g_filter.size());
}

extern "C" __declspec(dllexport) HWND DoubleFilterAt(int i)
{
    return i >= 0 && i < static_cast<int>(g_filter.size()) ? g_filter[static_cast<size_t>(i)] : nullptr;
}

extern "C" __declspec(dllexport) int DoubleSources()
{
    return g_sources;
}

extern "C" __declspec(dllexport) float DoubleTransform()
{
    return g_transform;
}

extern "C" __declspec(dllexport) BOOL WINAPI MagInitialize()
{
    WNDCLASSW wc{};
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(L"magnification.dll");
    wc.lpszClassName = L"Magnifier";
    RegisterClassW(&wc);
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI MagUninitialize()
{
    g_callback = nullptr;
    g_filter.clear();
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI MagSetWindowTransform(HWND, PMAGTRANSFORM t)
{
    g_transform = t ? t->v[0][0] + t->v[1][1] + t->v[2][2] + t->v[0][1] : 0;
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI MagSetImageScalingCallback(HWND, Callback cb)
{
    g_callback = cb;
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI MagSetWindowFilterList(HWND, DWORD, int count, HWND* list)
{
    g_filter.assign(list, list + (count > 0 && list ? count : 0));
    return TRUE;
}

extern "C" __declspec(dllexport) BOOL WINAPI MagSetWindowSource(HWND hwnd, RECT)
{
    ++g_sources;
    if (!g_callback)
        return TRUE;
    std::vector<uint8_t> frame(static_cast<size_t>(g_stride) * static_cast<size_t>(g_height), 0xCD);
    for (int y = 0; y < g_height; ++y)
        for (int x = 0; x < g_width; ++x) {
            const uint32_t v = DoublePixel(x, y);
            memcpy(&frame[static_cast<size_t>(y) * g_stride + static_cast<size_t>(x) * 4], &v, 4);
        }
    MAGIMAGEHEADER h{};
    h.width = static_cast<UINT>(g_width);
    h.height = static_cast<UINT>(g_height);
    h.stride = static_cast<UINT>(g_stride);
    h.cbSize = frame.size();
    RECT r{0, 0, g_width, g_height};
    g_callback(hwnd, frame.data(), h, nullptr, h, r, r, nullptr);
    return TRUE;
}
