#pragma once
// CKelmTextButton: the skin's main action button, a filled rounded rectangle
// with a one-line caption, drawn anti-aliased with Direct2D and DirectWrite.
// It can be switched off (SetEnabled) without disabling its window: it then
// shows grey and ignores the mouse. A completed click posts WM_COMMAND
// (BN_CLICKED) to the parent.

#include <windows.h>

#include <string>

#include "framework/controls.h"
#include "skin/accessibility.h"
#include "skin/click_tracker.h"
#include "skin/d2d_drawing.h"

namespace kelm {

class CKelmTextButton : public CButton {
    KELM_DECLARE_DYNAMIC(CKelmTextButton)
public:
    CKelmTextButton();
    ~CKelmTextButton() override;

    // The drawn caption, repainted; also the window text, the name a screen reader reads.
    void SetCaption(const std::wstring& text);
    const std::wstring& Caption() const { return m_text; }
    // Returns to idle; on a change, repaints at once.
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return m_enabled; }

    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    void OnPaint();
    void OnMouseMove(UINT flags, CPoint point);
    void OnMouseLeave();
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    BOOL OnEraseBkgnd(HDC dc);
    // A push button named by its caption.
    void DescribeForScreenReader(AccessibleFacts& facts) const;

    // The fill and caption colours for the current state.
    COLORREF CurrentFill() const;
    COLORREF CurrentTextColor() const;

    COLORREF m_backColor;
    COLORREF m_disabledFill;
    COLORREF m_normalFill;
    COLORREF m_hoverFill;
    COLORREF m_pressedFill;
    COLORREF m_disabledText;
    COLORREF m_normalText;
    COLORREF m_hoverText;
    COLORREF m_pressedText;
    std::wstring m_text;
    bool m_enabled = true;
    bool m_hover = false;
    ClickTracker m_click;
    bool m_tracking = false;
    TextButtonRenderer m_renderer;

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
