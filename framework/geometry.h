#pragma once
// Small value types over the Windows POINT, SIZE and RECT records, so layout
// code can say rc.Width() instead of rc.right - rc.left.

#include <windows.h>

namespace kelm {

struct CPoint : POINT {
    constexpr CPoint() noexcept : POINT{0, 0} {}
    constexpr CPoint(LONG px, LONG py) noexcept : POINT{px, py} {}
    constexpr CPoint(const POINT& p) noexcept : POINT(p) {}
    // The point packed in a mouse message's lParam (signed coordinates).
    static CPoint FromLParam(LPARAM lParam) noexcept
    {
        return CPoint(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
    }
    // The point packed as a mouse message's lParam.
    LPARAM ToLParam() const noexcept
    {
        return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
    }
    friend constexpr bool operator==(const CPoint& a, const CPoint& b) noexcept { return a.x == b.x && a.y == b.y; }
};

struct CSize : SIZE {
    constexpr CSize() noexcept : SIZE{0, 0} {}
    constexpr CSize(LONG width, LONG height) noexcept : SIZE{width, height} {}
    constexpr CSize(const SIZE& s) noexcept : SIZE(s) {}
    friend constexpr bool operator==(const CSize& a, const CSize& b) noexcept { return a.cx == b.cx && a.cy == b.cy; }
};

struct CRect : RECT {
    constexpr CRect() noexcept : RECT{0, 0, 0, 0} {}
    constexpr CRect(LONG l, LONG t, LONG r, LONG b) noexcept : RECT{l, t, r, b} {}
    constexpr CRect(const RECT& r) noexcept : RECT(r) {}
    constexpr CRect(const POINT& topLeft, const SIZE& size) noexcept
        : RECT{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy} {}

    constexpr LONG Width() const noexcept { return right - left; }
    constexpr LONG Height() const noexcept { return bottom - top; }
    constexpr CSize Size() const noexcept { return CSize(Width(), Height()); }
    constexpr CPoint TopLeft() const noexcept { return CPoint(left, top); }
    constexpr CPoint BottomRight() const noexcept { return CPoint(right, bottom); }
    constexpr bool IsRectEmpty() const noexcept { return right <= left || bottom <= top; }
    constexpr bool PtInRect(const POINT& p) const noexcept
    {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    constexpr void OffsetRect(LONG dx, LONG dy) noexcept
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    constexpr void DeflateRect(LONG dx, LONG dy) noexcept
    {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
    }
    friend constexpr bool operator==(const CRect& a, const CRect& b) noexcept
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};

} // namespace kelm
