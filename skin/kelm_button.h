#pragma once
// CKelmButton: an owner-drawn push button showing a centred image and/or a
// centred caption on a flat background, outlined while the mouse is over it or
// presses it. A completed click posts WM_COMMAND (BN_CLICKED) to the parent;
// so does Space, and Enter while it has the focus, unless it is a check box.

#include <windows.h>

#include <string>

#include "framework/controls.h"
#include "skin/accessibility.h"
#include "skin/click_tracker.h"

namespace kelm {

class CKelmButton : public CButton {
    KELM_DECLARE_DYNAMIC(CKelmButton)
public:
    CKelmButton() = default;
    ~CKelmButton() override;

    // Removes the image and sets the image size, the colours and the caption.
    void Configure(SIZE imageSize, COLORREF normal, COLORREF hover, COLORREF pressed, COLORREF border,
                   const std::wstring& text);
    // Shows a bitmap (borrowed, 32-bit premultiplied) of the given size.
    void SetImage(HBITMAP image, int width, int height);

    // What a screen reader is told: a push button named by its caption unless
    // given another role or name (an image check box takes its label's text).
    void SetAccessibility(long role, const std::wstring& name);
    // STATE_SYSTEM_CHECKED, _EXPANDED, _COLLAPSED...; screen readers are told of a change.
    void SetAccessibleState(long state);

    BOOL PreTranslateMessage(MSG* msg) override;
    void PreSubclassWindow() override;
    void DrawItem(DRAWITEMSTRUCT* item) override;

protected:
    int OnCreate(CREATESTRUCTW* create);
    void OnMouseMove(UINT flags, CPoint point);
    void OnMouseHover(UINT flags, CPoint point);
    void OnMouseLeave();
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    BOOL OnEraseBkgnd(HDC dc);
    LRESULT OnGetDlgCode(WPARAM key, LPARAM message);
    LRESULT OnKeyDown(WPARAM key, LPARAM flags);
    void DescribeForScreenReader(AccessibleFacts& facts) const;

    COLORREF m_normalColor = 0;
    COLORREF m_hoverColor = 0;
    COLORREF m_pressedColor = 0;
    COLORREF m_borderColor = 0;
    std::wstring m_text;
    HBITMAP m_image = nullptr;
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    int m_frameCount = 0;
    bool m_framesHorizontal = true;
    bool m_tracking = false;
    bool m_hover = false;
    ClickTracker m_click;
    long m_accessibleRole = ROLE_SYSTEM_PUSHBUTTON;
    std::wstring m_accessibleName;
    long m_accessibleState = 0;
    BLENDFUNCTION m_blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
