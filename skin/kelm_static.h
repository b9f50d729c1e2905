#pragma once
// CKelmStatic: an owner-drawn label of the skin, which can also act as a link
// (hand cursor, focus rectangle). Clicks reach the parent as the static
// control's own STN_CLICKED when the window has SS_NOTIFY.

#include <windows.h>

#include <string>

#include "framework/controls.h"
#include "skin/accessibility.h"

namespace kelm {

class CKelmStatic : public CStatic {
    KELM_DECLARE_DYNAMIC(CKelmStatic)
public:
    CKelmStatic() = default;
    ~CKelmStatic() override;

    // Sets the label text and the window text; repaints on a change.
    void SetText(const std::wstring& text);
    const std::wstring& Text() const { return m_text; }
    // The font (borrowed; null draws with a temporary "Arial"), the colours and
    // the DrawText format; repaints.
    void SetStyle(HFONT font, COLORREF textColor, COLORREF backColor, UINT format);
    // A link: hand cursor, focus cue, Enter and Space; repaints.
    void SetLink(bool isLink);
    bool IsLink() const { return m_isLink; }

    void PreSubclassWindow() override;
    void DrawItem(DRAWITEMSTRUCT* item) override;

protected:
    virtual void DrawLabelText(HDC dc, const std::wstring& text, RECT rect);

    void OnMouseMove(UINT flags, CPoint point);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnSetFocus(HWND previous);
    void OnKillFocus(HWND next);
    LRESULT OnGetDlgCode(WPARAM key, LPARAM message);
    LRESULT OnKeyDown(WPARAM key, LPARAM flags);
    LRESULT OnUiStateChange(WPARAM wParam, LPARAM lParam);
    // Static text, or a link.
    void DescribeForScreenReader(AccessibleFacts& facts) const;

    std::wstring m_text;
    HFONT m_font = nullptr;
    COLORREF m_textColor = RGB(255, 255, 255);
    UINT m_format = DT_SINGLELINE | DT_VCENTER;
    COLORREF m_backColor = RGB(0, 0, 0);
    bool m_isLink = false;
    bool m_hasFocus = false;

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
