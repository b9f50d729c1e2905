#pragma once
// CKelmProgress: the installation progress as a thin bar with rounded ends,
// drawn anti-aliased with Direct2D; the done part is cut to the rounded track,
// so its left end is round and its right end straight.

#include <windows.h>

#include <string>

#include "framework/wnd.h"
#include "skin/accessibility.h"
#include "skin/d2d_drawing.h"

namespace kelm {

class CKelmProgress : public CWnd {
    KELM_DECLARE_DYNAMIC(CKelmProgress)
public:
    CKelmProgress();
    ~CKelmProgress() override;

    // Each setter repaints when something changed.
    // The done part: position of range; screen readers are told of a change.
    void SetPosition(int position);
    void SetRange(int range);
    void SetColors(COLORREF back, COLORREF track, COLORREF fill);
    // The bar's size, centred in the client area.
    void SetBarSize(SIZE size);
    // The name a screen reader reads with the value (the percent done).
    void SetAccessibleName(const std::wstring& name);

protected:
    void OnPaint();
    void DescribeForScreenReader(AccessibleFacts& facts) const;

    COLORREF m_backColor = RGB(0, 0, 0);
    COLORREF m_trackColor = RGB(75, 71, 70);
    COLORREF m_fillColor = RGB(7, 165, 216);
    int m_position = 0;
    int m_range = 100;
    RECT m_barRect{};
    std::wstring m_accessibleName;
    float m_radiusX;
    float m_radiusY;
    ProgressRenderer m_renderer;

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
