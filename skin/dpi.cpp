#include "skin/dpi.h"

#include "framework/handles.h"

#include <windows.h>

namespace kelm {

namespace {

struct ScreenDpi {
    int x = 96;
    int y = 96;
};

const ScreenDpi& ReadScreenDpi()
{
    static const ScreenDpi dpi = [] {
        ScreenDpi value;
        if (const WindowDc screen(nullptr); screen) {
            value.x = GetDeviceCaps(screen.Get(), LOGPIXELSX);
            value.y = GetDeviceCaps(screen.Get(), LOGPIXELSY);
        }
        return value;
    }();
    return dpi;
}

} // namespace

int ScreenDpiX()
{
    return ReadScreenDpi().x;
}

int ScreenDpiY()
{
    return ReadScreenDpi().y;
}

double DpiScale(int dpi)
{
    const double ratio = dpi / 96.0;
    if (ratio < 1.25)
        return 1.0;
    if (ratio < 1.5)
        return 1.25;
    if (ratio < 2.0)
        return 1.5;
    return 2.0;
}

int ScaleForDpi(int n, int dpi)
{
    return static_cast<int>(n * DpiScale(dpi));
}

int ScaleX(int n)
{
    return ScaleForDpi(n, ScreenDpiX());
}

int ScaleY(int n)
{
    return ScaleForDpi(n, ScreenDpiY());
}

int DpiSizeIndex(int dpi)
{
    if (dpi < 120)
        return 0;
    if (dpi < 144)
        return 1;
    if (dpi < 192)
        return 2;
    return 3;
}

int DpiImageIdForDpi(int firstId, int dpi)
{
    return firstId + DpiSizeIndex(dpi);
}

int DpiImageId(int firstId)
{
    return DpiImageIdForDpi(firstId, ScreenDpiY());
}

} // namespace kelm
