#pragma once
// CKelmEdit: a single-line edit box with a flat one-pixel frame that turns to
// the active colour while the box is in use. The first click selects the whole
// text; Ctrl+A, Ctrl+C, Ctrl+X and Ctrl+V work whatever the parent does with
// keys. Free-text input.

#include <windows.h>

#include <string>

#include "framework/controls.h"
#include "framework/handles.h"
#include "skin/accessibility.h"

namespace kelm {

class CKelmEdit : public CEdit {
    KELM_DECLARE_DYNAMIC(CKelmEdit)
public:
    static constexpr int kFreeText = 2;

    CKelmEdit();
    ~CKelmEdit() override;

    void SetColors(COLORREF border, COLORREF activeBorder, COLORREF back, COLORREF text);
    bool IsActive() const { return m_active; }
    const std::wstring& TextAtClick() const { return m_textAtClick; }

    // The name a screen reader reads for the box (its label's text).
    void SetAccessibleName(const std::wstring& name);

    BOOL PreTranslateMessage(MSG* msg) override;
    void PreSubclassWindow() override;

    // kFreeText: Enter is no character of the text.
    void SetInputMode(int mode) { m_inputMode = mode; }
    void AllowPaste(bool allow) { m_allowPaste = allow; }

protected:
    LRESULT OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params);
    void OnNcPaint(HRGN updateRegion);
    void OnChar(UINT character, UINT repeatCount, UINT flags);
    void OnKillFocus(HWND next);
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT mouseMessage);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnEnable(BOOL enabled);
    HBRUSH CtlColor(HDC dc, UINT controlType) override;

    bool IsEditable() const;
    // Editable text, its value the text in the box.
    void DescribeForScreenReader(AccessibleFacts& facts) const;

    COLORREF m_borderColor;
    COLORREF m_activeBorderColor;
    COLORREF m_backColor;
    COLORREF m_textColor;
    UniqueBrush m_backBrush;
    bool m_active = false;
    std::wstring m_textAtClick;
    std::wstring m_accessibleName;
    int m_inputMode = kFreeText;
    bool m_allowPaste = true;

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
