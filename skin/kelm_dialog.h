#pragma once
// CKelmDialog: the base of the program's top-level windows. It draws its own
// dark, flat frame instead of the system's: a caption of 28 pixels (scaled for
// DPI) with image caption buttons (Close, Maximize, Restore, Minimize), an
// optional icon and title, thin edges and a rectangular window region. The
// client area is filled with the skin background.

#include <windows.h>

#include <array>
#include <string>

#include "framework/dialog.h"
#include "framework/handles.h"

namespace kelm {

// What a caption button shows of the mouse: nothing, the pointer over it, a
// press on it. Hover and Pressed make a release over it a click.
enum class CaptionButtonState { Normal, Hover, Pressed };

struct CaptionButton {
    // Also the button's index in the frame's array.
    enum Id { Close = 0, Maximize = 1, Restore = 2, Minimize = 3, Count = 4 };

    HWND owner = nullptr;
    int id = Close;
    HBITMAP image = nullptr; // borrowed from the image cache
    int imageWidth = 0;
    int imageHeight = 0;
    COLORREF normalColor = 0;
    COLORREF hoverColor = 0;
    COLORREF pressedColor = 0;
    std::wstring label;
    bool visible = false;
    RECT rect{};      // window coordinates after layout; empty: never drawn or hit
    RECT imageRect{};
    CaptionButtonState state = CaptionButtonState::Normal;
    bool disabled = false; // greyed out and never hit
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
};

class CKelmDialog : public CDialogEx {
    KELM_DECLARE_DYNAMIC(CKelmDialog)
public:
    explicit CKelmDialog(UINT templateId);
    ~CKelmDialog() override;

    // Window icon and title in the caption; repaints the frame.
    void SetShowCaption(bool show);
    // Greys out one caption button (by position: 0 Close, 1 Maximize, 2 Restore,
    // 3 Minimize) so that it is never hit; repaints the frame.
    void SetCaptionButtonDisabled(int index, bool disabled);
    // Paints the whole frame now.
    void RepaintFrame();

    const std::array<CaptionButton, CaptionButton::Count>& CaptionButtons() const { return m_buttons; }
    // Caption height without the edge: 28 pixels at 96 DPI.
    static int CaptionHeight();

protected:
    BOOL OnInitDialog() override;
    // Places the child windows in the client rectangle; called at every size change.
    virtual void LayoutClient(const RECT& client);

    BOOL OnNcCreate(CREATESTRUCTW* create);
    LRESULT OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params);
    void OnNcPaint(HRGN updateRegion);
    BOOL OnNcActivate(BOOL active);
    void OnNcMouseMove(UINT hitTest, CPoint point);
    void OnNcMouseHover(UINT hitTest, CPoint point);
    void OnNcMouseLeave();
    void OnNcLButtonDown(UINT hitTest, CPoint point);
    void OnNcLButtonUp(UINT hitTest, CPoint point);
    void OnNcLButtonDblClk(UINT hitTest, CPoint point);
    void OnSize(UINT type, int cx, int cy);
    BOOL OnEraseBkgnd(HDC dc);
    void OnMouseMove(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnCaptureChanged();
    void EndCaptionPress(CPoint screenPoint);
    LRESULT OnSetText(WPARAM wParam, LPARAM lParam);

    // Index of the button at a screen point, or -1.
    int HitCaptionButton(CPoint screenPoint) const;
    void ClearButtonStates();
    void UpdateButtonVisibility();
    void LayoutCaptionButtons(const RECT& visible);
    RECT VisibleWindowRect() const;

    UniqueFont m_captionFont;
    std::array<CaptionButton, CaptionButton::Count> m_buttons{};
    bool m_layoutDirty = false;
    bool m_mouseTracked = false;
    bool m_buttonCaptured = false;
    int m_pressedButton = -1; // index into m_buttons of the held press
    bool m_showCaption = false;

    void DrawFrame();

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
