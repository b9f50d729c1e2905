#include "skin/kelm_text_button.h"

#include "skin/focus_cue.h"

#include "skin/palette.h"

namespace kelm {

KELM_IMPLEMENT_DYNAMIC(CKelmTextButton, CButton)

KELM_BEGIN_MESSAGE_MAP(CKelmTextButton, CButton)
    KELM_ON_WM_PAINT()
    KELM_ON_WM_MOUSEMOVE()
    KELM_ON_WM_MOUSELEAVE()
    KELM_ON_WM_LBUTTONDOWN()
    KELM_ON_WM_LBUTTONUP()
    KELM_ON_WM_ERASEBKGND()
    KELM_ON_FOCUS_CUE_CHANGES()
    KELM_ON_ACCESSIBILITY()
KELM_END_MESSAGE_MAP()

void CKelmTextButton::SetCaption(const std::wstring& text)
{
    m_text = text;
    if (m_hWnd) {
        ::SetWindowTextW(m_hWnd, text.c_str());
        Invalidate(FALSE);
    }
}

CKelmTextButton::CKelmTextButton()
    : m_backColor(SkinColor(SkinSlot::WindowBackColor)),
      m_disabledFill(SkinColor(SkinSlot::TextButtonDisabledFill)),
      m_normalFill(SkinColor(SkinSlot::TextButtonFill)),
      m_hoverFill(SkinColor(SkinSlot::TextButtonHoverFill)),
      m_pressedFill(SkinColor(SkinSlot::TextButtonPressedFill)),
      m_disabledText(SkinColor(SkinSlot::TextButtonDisabledText)),
      m_normalText(SkinColor(SkinSlot::TextButtonText)),
      m_hoverText(SkinColor(SkinSlot::TextButtonText)),
      m_pressedText(SkinColor(SkinSlot::TextButtonText))
{
}

CKelmTextButton::~CKelmTextButton() = default;

void CKelmTextButton::SetEnabled(bool enabled)
{
    m_hover = false;
    m_click.Cancel(m_hWnd);
    m_tracking = false;
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (m_hWnd) {
        // Disabled for the system too: Tab passes it by and a screen reader says so.
        ::EnableWindow(m_hWnd, enabled ? TRUE : FALSE);
        Invalidate(TRUE);
        UpdateWindow();
    }
}

BOOL CKelmTextButton::PreTranslateMessage(MSG* msg)
{
    if (msg->hwnd == m_hWnd) {
        if (msg->message == WM_LBUTTONDBLCLK)
            msg->message = WM_LBUTTONDOWN;
        if (!m_enabled && (msg->message == WM_LBUTTONDOWN || msg->message == WM_LBUTTONUP))
            return TRUE;
    }
    return CButton::PreTranslateMessage(msg);
}

COLORREF CKelmTextButton::CurrentFill() const
{
    if (!m_enabled)
        return m_disabledFill;
    // Hover wins: while the mouse is held down and has left the button, the
    // pressed colour shows.
    return m_hover ? m_hoverFill : m_click.IsPressed() ? m_pressedFill : m_normalFill;
}

COLORREF CKelmTextButton::CurrentTextColor() const
{
    if (!m_enabled)
        return m_disabledText;
    return m_hover ? m_hoverText : m_click.IsPressed() ? m_pressedText : m_normalText;
}

void CKelmTextButton::OnPaint()
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(m_hWnd, &paint);
    if (dc) {
        m_renderer.Paint(dc, GetClientRect(), {m_backColor, CurrentFill(), CurrentTextColor()}, m_text);
        if (ShowsFocusCue(m_hWnd))
            DrawFocusCue(dc, GetClientRect());
        EndPaint(m_hWnd, &paint);
    }
}

void CKelmTextButton::OnMouseMove(UINT keyFlags, CPoint point)
{
    if (!m_enabled)
        return;
    if (!m_tracking) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, m_hWnd, HOVER_DEFAULT};
        m_tracking = TrackMouseEvent(&track) != FALSE;
    }
    // While the button holds the capture it also sees moves outside itself:
    // the highlight follows the pointer, so a press dragged out shows pressed.
    const bool inside = GetClientRect().PtInRect(point);
    if (m_tracking && inside != m_hover) {
        m_hover = inside;
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    Default(WM_MOUSEMOVE, keyFlags, point.ToLParam());
}

void CKelmTextButton::OnMouseLeave()
{
    m_tracking = false;
    m_hover = false;
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void CKelmTextButton::OnLButtonDown(UINT keyFlags, CPoint point)
{
    // Also refused here for presses that do not come through the message loop.
    if (!m_enabled)
        return;
    m_click.Press(m_hWnd);
    Default(WM_LBUTTONDOWN, keyFlags, point.ToLParam());
}

void CKelmTextButton::OnLButtonUp(UINT keyFlags, CPoint point)
{
    if (!m_enabled)
        return;
    m_click.Release(m_hWnd, point);
    Default(WM_LBUTTONUP, keyFlags, point.ToLParam());
}

BOOL CKelmTextButton::OnEraseBkgnd(HDC)
{
    return FALSE;
}

void CKelmTextButton::DescribeForScreenReader(AccessibleFacts& facts) const
{
    facts.role = ROLE_SYSTEM_PUSHBUTTON;
    facts.name = m_text;
}

} // namespace kelm
