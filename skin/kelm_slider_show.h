#pragma once
// CKelmSliderShowCtrl: a looping slide show. Each slide stands still, then
// slides out to the left while the next comes in from the right. The show's
// time origin is one value for the whole process, taken at the first paint of a
// show that has slides. A click, or Enter or Space while the show has the
// focus, is sent (synchronously) to the parent as WM_SLIDESHOW_CLICKED: the
// show is a link, and tells screen readers so (named by its window text).

#include <windows.h>

#include <vector>

#include "framework/wnd.h"
#include "skin/accessibility.h"
#include "skin/image_loader.h"

namespace kelm {

inline constexpr UINT WM_SLIDESHOW_CLICKED = WM_USER + 250;

// The clock of all slide shows, in milliseconds. Tests replace it to show a
// chosen moment; null returns to the C runtime's clock.
using SlideShowClock = long (*)();
void SetSlideShowClock(SlideShowClock clock);

class CKelmSliderShowCtrl : public CWnd {
    KELM_DECLARE_DYNAMIC(CKelmSliderShowCtrl)
public:
    static constexpr UINT_PTR kAnimationTimer = 1;
    static constexpr UINT kAnimationMilliseconds = 33;

    CKelmSliderShowCtrl() = default;
    ~CKelmSliderShowCtrl() override;

    // Appends a slide; slides without a bitmap are not taken.
    void AddSlide(FileImage slide);
    std::size_t SlideCount() const { return m_slides.size(); }

    // The colour around and between the slides; repaints.
    void SetBackColor(COLORREF color);

protected:
    int OnCreate(CREATESTRUCTW* create);
    void OnPaint();
    void OnTimer(UINT_PTR timerId);
    void OnDestroy();
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT mouseMessage);
    void OnLButtonDown(UINT flags, CPoint point);
    LRESULT OnGetDlgCode(WPARAM key, LPARAM message);
    LRESULT OnKeyDown(WPARAM key, LPARAM flags);
    void DescribeForScreenReader(AccessibleFacts& facts) const;
    void Activate();

    void DrawSlide(HDC dc, HDC slideDc, const FileImage& slide, int x, int y);

    std::vector<FileImage> m_slides;
    COLORREF m_backColor = RGB(0, 0, 0);
    int m_marginLeft = 0;
    int m_marginTop = 0;
    int m_marginRight = 0;
    int m_marginBottom = 0;
    double m_transitionSeconds = 0.6;
    double m_displaySeconds = 7.5;

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
