#include "skin/focus_cue.h"

#include "framework/handles.h"
#include "skin/dpi.h"

#include <algorithm>
#include <atomic>

namespace kelm {

namespace {
constexpr COLORREF kFocusCueColor = RGB(255, 255, 255);
std::atomic<bool> g_keyboardUsed{false};
} // namespace

void NoteKeyboardUse(const MSG& message) noexcept
{
    if ((message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) || g_keyboardUsed)
        return;
    g_keyboardUsed = true;
    if (HWND focus = ::GetFocus())
        ::InvalidateRect(focus, nullptr, FALSE);
}

bool KeyboardInUse() noexcept
{
    return g_keyboardUsed;
}

bool ShowsFocusCue(HWND control)
{
    if (control == nullptr || !g_keyboardUsed || ::GetFocus() != control)
        return false;
    const LRESULT state = ::SendMessageW(control, WM_QUERYUISTATE, 0, 0);
    return (state & UISF_HIDEFOCUS) == 0;
}

LRESULT DefaultThenRepaint(CWnd& control, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = control.Default(message, wParam, lParam);
    if (control.m_hWnd)
        control.Invalidate(FALSE);
    return result;
}

bool IsActivationKeyDown(LPARAM dialogCodeMessage) noexcept
{
    const auto* message = reinterpret_cast<const MSG*>(dialogCodeMessage);
    return message != nullptr && message->message == WM_KEYDOWN &&
           (message->wParam == VK_RETURN || message->wParam == VK_SPACE);
}

void DrawFocusCue(HDC dc, const RECT& rect)
{
    const int width = std::max(1, ScaleX(1));
    const int inset = std::max(1, ScaleX(2));
    RECT ring{rect.left + inset, rect.top + inset, rect.right - inset, rect.bottom - inset};
    if (ring.right - ring.left <= 2 * width || ring.bottom - ring.top <= 2 * width)
        ring = rect;
    UniqueBrush brush(::CreateSolidBrush(kFocusCueColor));
    if (!brush)
        return;
    const RECT sides[4] = {
        {ring.left, ring.top, ring.right, ring.top + width},
        {ring.left, ring.bottom - width, ring.right, ring.bottom},
        {ring.left, ring.top, ring.left + width, ring.bottom},
        {ring.right - width, ring.top, ring.right, ring.bottom},
    };
    for (const RECT& side : sides)
        ::FillRect(dc, &side, brush.Get());
}

} // namespace kelm
