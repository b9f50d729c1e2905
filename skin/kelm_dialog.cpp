#include "skin/kelm_dialog.h"

#include "res/skin_images.h"
#include "skin/dpi.h"
#include "skin/fonts.h"
#include "skin/image_loader.h"
#include "skin/palette.h"

namespace kelm {

namespace {

int ScaleFloorX()
{
    return static_cast<int>(DpiScale(ScreenDpiX()));
}

int ScaleFloorY()
{
    return static_cast<int>(DpiScale(ScreenDpiY()));
}

constexpr int kMaximizedInset = 8;

void FillColor(HDC dc, const RECT& rect, COLORREF color)
{
    UniqueBrush brush(CreateSolidBrush(color));
    FillRect(dc, &rect, brush.Get());
}

bool IsHitTestMovable(UINT hitTest)
{
    return hitTest == HTCAPTION || (hitTest >= HTLEFT && hitTest <= HTBOTTOMRIGHT);
}

} // namespace

KELM_IMPLEMENT_DYNAMIC(CKelmDialog, CDialogEx)

KELM_BEGIN_MESSAGE_MAP(CKelmDialog, CDialogEx)
    KELM_ON_WM_NCCREATE()
    KELM_ON_WM_NCCALCSIZE()
    KELM_ON_WM_NCPAINT()
    KELM_ON_WM_NCACTIVATE()
    KELM_ON_WM_NCMOUSEMOVE()
    KELM_ON_WM_NCMOUSELEAVE()
    KELM_ON_WM_NCMOUSEHOVER()
    KELM_ON_WM_NCLBUTTONDOWN()
    KELM_ON_WM_NCLBUTTONUP()
    KELM_ON_WM_NCLBUTTONDBLCLK()
    KELM_ON_WM_SIZE()
    KELM_ON_WM_ERASEBKGND()
    KELM_ON_WM_MOUSEMOVE()
    KELM_ON_WM_LBUTTONUP()
    KELM_MESSAGE_ENTRY(WM_CAPTURECHANGED, self.OnCaptureChanged(); return 0;)
    KELM_ON_MESSAGE(WM_SETTEXT, OnSetText)
KELM_END_MESSAGE_MAP()

CKelmDialog::CKelmDialog(UINT templateId) : CDialogEx(templateId, nullptr)
{
    ScreenDpiX();
    ScreenDpiY();
    m_captionFont.Reset(CreateArialFont(ScaleY(15)));
}

CKelmDialog::~CKelmDialog() = default;

int CKelmDialog::CaptionHeight()
{
    return ScaleY(28);
}

BOOL CKelmDialog::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    return TRUE;
}

void CKelmDialog::LayoutClient(const RECT&)
{
}

void CKelmDialog::SetShowCaption(bool show)
{
    m_showCaption = show;
    RepaintFrame();
}

void CKelmDialog::SetCaptionButtonDisabled(int index, bool disabled)
{
    if (index < 0 || index >= static_cast<int>(m_buttons.size()))
        return;
    m_buttons[index].disabled = disabled;
    RepaintFrame();
}

BOOL CKelmDialog::OnNcCreate(CREATESTRUCTW* create)
{
    if (!Default(WM_NCCREATE, 0, reinterpret_cast<LPARAM>(create)))
        return FALSE;

    struct CaptionButtonLook {
        int firstImageId;
        SkinSlot hover;
        SkinSlot pressed;
        const wchar_t* label;
        bool visible;
    };
    static const CaptionButtonLook looks[] = {
        {IDB_CLOSE_FIRST, SkinSlot::CloseHoverColor, SkinSlot::ClosePressedColor, L"Close", true},
        {IDB_MAXIMIZE_FIRST, SkinSlot::CaptionButtonHoverColor, SkinSlot::CaptionButtonPressedColor, L"Maximize", true},
        {IDB_RESTORE_FIRST, SkinSlot::CaptionButtonHoverColor, SkinSlot::CaptionButtonPressedColor, L"Restore", false},
        {IDB_MINIMIZE_FIRST, SkinSlot::CaptionButtonHoverColor, SkinSlot::CaptionButtonPressedColor, L"Minimize", true},
    };
    const int buttonWidth = ScaleX(30);
    const int buttonHeight = ScaleY(30);
    const bool hasMaximizeBox = (create->style & WS_MAXIMIZEBOX) != 0;
    for (int id = 0; id < CaptionButton::Count; ++id) {
        const CaptionButtonLook& look = looks[id];
        CaptionButton& button = m_buttons[static_cast<std::size_t>(id)];
        button = CaptionButton{};
        button.owner = m_hWnd;
        button.id = id;
        button.normalColor = SkinColor(SkinSlot::FrameBackColor);
        button.hoverColor = SkinColor(look.hover);
        button.pressedColor = SkinColor(look.pressed);
        button.label = look.label;
        button.visible = look.visible;
        if (const auto image = LoadResourceImage(DpiImageId(look.firstImageId)); image && image->Bitmap()) {
            button.image = image->Bitmap();
            button.imageWidth = image->Width();
            button.imageHeight = image->Height();
            button.rect = {0, 0, buttonWidth, buttonHeight};
            button.imageRect.left = (buttonWidth - button.imageWidth) / 2;
            button.imageRect.top = (buttonHeight - button.imageHeight) / 2;
            button.imageRect.right = button.imageRect.left + button.imageWidth;
            button.imageRect.bottom = button.imageRect.top + button.imageHeight;
        }
        if (!hasMaximizeBox && (id == CaptionButton::Maximize || id == CaptionButton::Restore)) {
            button.rect = {};
            button.imageRect = {};
        }
    }
    return TRUE;
}

LRESULT CKelmDialog::OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params)
{
    if (!calcValidRects || !params)
        return 0;
    RECT& proposed = params->rgrc[0];
    const int fx = ScaleFloorX();
    const int fy = ScaleFloorY();
    if (IsZoomed(m_hWnd)) {
        proposed.left += kMaximizedInset;
        proposed.right -= kMaximizedInset;
        proposed.bottom -= kMaximizedInset;
        proposed.top += fy + CaptionHeight() + kMaximizedInset;
    } else {
        proposed.top += CaptionHeight() + fy;
        proposed.left += fx;
        proposed.right -= fx;
        proposed.bottom -= fy;
    }
    UpdateButtonVisibility();
    m_layoutDirty = true;
    return 0;
}

void CKelmDialog::UpdateButtonVisibility()
{
    const bool zoomed = IsZoomed(m_hWnd) != FALSE;
    m_buttons[CaptionButton::Maximize].visible = !zoomed;
    m_buttons[CaptionButton::Restore].visible = zoomed;
}

RECT CKelmDialog::VisibleWindowRect() const
{
    const CRect window = GetWindowRect();
    RECT visible{0, 0, window.Width(), window.Height()};
    if (IsZoomed(m_hWnd)) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        if (GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) {
            const int l = window.left - monitor.rcWork.left;
            const int t = window.top - monitor.rcWork.top;
            visible = {-l, -t, window.Width() + l, window.Height() + t};
        }
    }
    return visible;
}

void CKelmDialog::LayoutCaptionButtons(const RECT& visible)
{
    const int fx = ScaleFloorX();
    const int fy = ScaleFloorY();
    const int right = visible.right - fx;
    const int top = visible.top + fy;
    const int buttonWidth = ScaleX(30);
    const int buttonHeight = ScaleY(30);
    // From the right: Close, then Maximize and Restore in one place, then Minimize.
    int place = right;
    auto put = [&](CaptionButton& button) {
        if (IsRectEmpty(&button.rect))
            return false;
        button.rect = {place - buttonWidth, top, place, top + buttonHeight};
        button.imageRect.left = button.rect.left + (buttonWidth - button.imageWidth) / 2;
        button.imageRect.top = button.rect.top + (buttonHeight - button.imageHeight) / 2;
        button.imageRect.right = button.imageRect.left + button.imageWidth;
        button.imageRect.bottom = button.imageRect.top + button.imageHeight;
        return true;
    };
    if (put(m_buttons[CaptionButton::Close]))
        place -= buttonWidth;
    const bool maximizePlaced = put(m_buttons[CaptionButton::Maximize]);
    const bool restorePlaced = put(m_buttons[CaptionButton::Restore]);
    if (maximizePlaced || restorePlaced)
        place -= buttonWidth;
    put(m_buttons[CaptionButton::Minimize]);
}

void CKelmDialog::RepaintFrame()
{
    if (m_hWnd)
        DrawFrame();
}

void CKelmDialog::OnNcPaint(HRGN)
{
    DrawFrame();
}

// The whole frame, over whatever the system drew: no default painting to keep.
void CKelmDialog::DrawFrame()
{
    WindowDc windowDc(m_hWnd, true);
    if (!windowDc)
        return;
    const CRect window = GetWindowRect();
    const int width = window.Width();
    const int height = window.Height();
    if (width <= 0 || height <= 0)
        return;
    const RECT visible = VisibleWindowRect();
    if (m_layoutDirty) {
        LayoutCaptionButtons(visible);
        m_layoutDirty = false;
    }

    // The client area keeps its own painting.
    CRect client = GetClientRect();
    POINT clientOrigin{0, 0};
    ClientToScreen(m_hWnd, &clientOrigin);
    client.OffsetRect(clientOrigin.x - window.left, clientOrigin.y - window.top);
    ExcludeClipRect(windowDc.Get(), client.left, client.top, client.right, client.bottom);

    UniqueMemoryDc memoryDc(CreateCompatibleDC(windowDc.Get()));
    UniqueBitmap canvas(CreateCompatibleBitmap(windowDc.Get(), width, height));
    if (!memoryDc || !canvas)
        return;
    SelectedObject canvasSelection(memoryDc.Get(), canvas.Get());
    HDC dc = memoryDc.Get();

    const int fx = ScaleFloorX();
    const int fy = ScaleFloorY();
    FillColor(dc, RECT{0, 0, width, height}, SkinColor(SkinSlot::FrameBackColor));
    const COLORREF border = SkinColor(SkinSlot::FrameBorderColor);
    FillColor(dc, RECT{0, 0, width, fy}, border);
    FillColor(dc, RECT{0, height - fy, width, height}, border);
    FillColor(dc, RECT{0, 0, fx, height}, border);
    FillColor(dc, RECT{width - fx, 0, width, height}, border);

    RECT caption{fx, fy, width - fx, fy + CaptionHeight()};
    UpdateButtonVisibility();
    UniqueMemoryDc imageDc(CreateCompatibleDC(dc));
    for (const CaptionButton& button : m_buttons) {
        if (!button.visible || !button.image || IsRectEmpty(&button.rect))
            continue;
        COLORREF fill = button.normalColor;
        if (!button.disabled)
            fill = button.state == CaptionButtonState::Pressed ? button.pressedColor
                   : button.state == CaptionButtonState::Hover ? button.hoverColor
                                                               : button.normalColor;
        FillColor(dc, button.rect, fill);
        if (imageDc) {
            SelectedObject imageSelection(imageDc.Get(), button.image);
            BLENDFUNCTION blend = button.blend;
            blend.SourceConstantAlpha = button.disabled ? 50 : 255;
            AlphaBlend(dc, button.imageRect.left, button.imageRect.top, button.imageWidth, button.imageHeight,
                       imageDc.Get(), 0, 0, button.imageWidth, button.imageHeight, blend);
        }
    }

    if (m_showCaption) {
        const int iconX = caption.left + 4 * fx;
        const int iconY = caption.top + (CaptionHeight() - ScaleY(18)) / 2;
        if (HICON icon = reinterpret_cast<HICON>(SendMessageW(WM_GETICON, ICON_BIG, 0))) {
            DrawIconEx(dc, iconX, iconY, icon, ScaleX(18), ScaleY(18), 0, nullptr, DI_NORMAL);
            caption.left = iconX + ScaleX(18);
        }
        const std::wstring title = GetWindowTextW();
        if (!title.empty()) {
            SelectedObject fontSelection(dc, m_captionFont.Get());
            SIZE extent{};
            GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &extent);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, SkinColor(SkinSlot::CaptionTextColor));
            const int textTop = caption.top + (CaptionHeight() - extent.cy) / 2;
            RECT textRect{caption.left + 5 * fy, textTop, caption.right, textTop + extent.cy};
            DrawTextW(dc, title.c_str(), -1, &textRect,
                      DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_WORD_ELLIPSIS);
        }
    }

    BitBlt(windowDc.Get(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
}

BOOL CKelmDialog::OnNcActivate(BOOL)
{
    return TRUE;
}

LRESULT CKelmDialog::OnSetText(WPARAM wParam, LPARAM lParam)
{
    // The system redraws its own caption on a title change; draw ours over it.
    const LRESULT result = Default(WM_SETTEXT, wParam, lParam);
    RepaintFrame();
    return result;
}

int CKelmDialog::HitCaptionButton(CPoint screenPoint) const
{
    const CRect window = GetWindowRect();
    const POINT point{screenPoint.x - window.left, screenPoint.y - window.top};
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        const CaptionButton& button = m_buttons[i];
        if (button.visible && !button.disabled && PtInRect(&button.rect, point))
            return static_cast<int>(i);
    }
    return -1;
}

void CKelmDialog::ClearButtonStates()
{
    for (CaptionButton& button : m_buttons)
        button.state = CaptionButtonState::Normal;
}

void CKelmDialog::OnNcMouseMove(UINT hitTest, CPoint point)
{
    if (!m_mouseTracked) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE | TME_NONCLIENT, m_hWnd, HOVER_DEFAULT};
        m_mouseTracked = TrackMouseEvent(&track) != FALSE;
    }
    const int hit = HitCaptionButton(point);
    if (hit < 0) {
        ClearButtonStates();
        RepaintFrame();
        return;
    }
    if (m_buttons[hit].state != CaptionButtonState::Normal) {
        Default(WM_NCMOUSEMOVE, hitTest, point.ToLParam());
        return;
    }
    ClearButtonStates();
    m_buttons[hit].state = CaptionButtonState::Hover;
    RepaintFrame();
    Default(WM_NCMOUSEMOVE, hitTest, point.ToLParam());
}

void CKelmDialog::OnNcMouseHover(UINT, CPoint)
{
    m_mouseTracked = true;
}

void CKelmDialog::OnNcMouseLeave()
{
    m_mouseTracked = false;
    if (!m_buttonCaptured) {
        ClearButtonStates();
        RepaintFrame();
    }
}

void CKelmDialog::OnNcLButtonDown(UINT hitTest, CPoint point)
{
    ClearButtonStates();
    const int hit = HitCaptionButton(point);
    if (hit >= 0) {
        // The mouse is captured, so the release comes here wherever it happens
        // and the button never stays drawn pressed.
        m_buttonCaptured = true;
        m_pressedButton = hit;
        m_buttons[hit].state = CaptionButtonState::Pressed;
        SetCapture(m_hWnd);
        RepaintFrame();
        return;
    }
    if (IsHitTestMovable(hitTest))
        Default(WM_NCLBUTTONDOWN, hitTest, point.ToLParam());
}

void CKelmDialog::OnNcLButtonUp(UINT, CPoint point)
{
    EndCaptionPress(point);
}

void CKelmDialog::OnLButtonUp(UINT keyFlags, CPoint point)
{
    if (!m_buttonCaptured) {
        Default(WM_LBUTTONUP, keyFlags, point.ToLParam());
        return;
    }
    POINT screen{point.x, point.y};
    ClientToScreen(m_hWnd, &screen);
    EndCaptionPress(CPoint(screen.x, screen.y));
}

void CKelmDialog::OnCaptureChanged()
{
    // Taken away before the release (another window, a menu): no click.
    if (!m_buttonCaptured)
        return;
    m_buttonCaptured = false;
    ClearButtonStates();
    RepaintFrame();
}

// The release of a press on a caption button, at a screen point: a click when
// it is still over the pressed button.
void CKelmDialog::EndCaptionPress(CPoint point)
{
    const bool captured = m_buttonCaptured;
    m_buttonCaptured = false;
    if (captured && GetCapture() == m_hWnd)
        ReleaseCapture();
    const int hit = HitCaptionButton(point);
    if (captured && hit != m_pressedButton) {
        ClearButtonStates();
        RepaintFrame();
        return;
    }
    if (hit >= 0 && m_buttons[hit].state != CaptionButtonState::Normal) {
        const bool maximizable = (GetStyle() & WS_MAXIMIZEBOX) != 0;
        switch (m_buttons[hit].id) {
        case CaptionButton::Close:
            SendMessageW(WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case CaptionButton::Minimize:
            SendMessageW(WM_SYSCOMMAND, SC_MINIMIZE, 0);
            break;
        case CaptionButton::Maximize:
            if (maximizable)
                SendMessageW(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
            break;
        case CaptionButton::Restore:
            if (maximizable)
                SendMessageW(WM_SYSCOMMAND, SC_RESTORE, 0);
            break;
        }
    }
    if (!m_hWnd)
        return; // closing destroyed the window
    ClearButtonStates();
    RepaintFrame();
}

void CKelmDialog::OnNcLButtonDblClk(UINT, CPoint point)
{
    if ((GetStyle() & WS_MAXIMIZEBOX) == 0 || HitCaptionButton(point) >= 0)
        return;
    SendMessageW(WM_SYSCOMMAND, IsZoomed(m_hWnd) ? SC_RESTORE : SC_MAXIMIZE, 0);
}

void CKelmDialog::OnSize(UINT type, int cx, int cy)
{
    Default(WM_SIZE, type, MAKELPARAM(cx, cy));
    const CRect window = GetWindowRect();
    RECT region{0, 0, window.Width(), window.Height()};
    if (IsZoomed(m_hWnd)) {
        region.left += kMaximizedInset;
        region.right -= kMaximizedInset;
        region.bottom -= kMaximizedInset;
    }
    // The window owns the region once SetWindowRgn succeeds.
    UniqueRegion shape(CreateRoundRectRgn(region.left, region.top, region.right + 1, region.bottom + 1, 0, 0));
    if (shape && SetWindowRgn(m_hWnd, shape.Get(), TRUE))
        shape.Release();
    LayoutClient(GetClientRect());
}

BOOL CKelmDialog::OnEraseBkgnd(HDC dc)
{
    FillColor(dc, GetClientRect(), SkinColor(SkinSlot::WindowBackColor));
    return FALSE;
}

void CKelmDialog::OnMouseMove(UINT keyFlags, CPoint point)
{
    if (!m_buttonCaptured || m_pressedButton < 0 || m_pressedButton >= static_cast<int>(m_buttons.size())) {
        Default(WM_MOUSEMOVE, keyFlags, point.ToLParam());
        return;
    }
    // A held press follows the pointer: pressed over its button, released off it.
    POINT screen{point.x, point.y};
    ClientToScreen(m_hWnd, &screen);
    const bool over = HitCaptionButton(CPoint(screen.x, screen.y)) == m_pressedButton;
    CaptionButton& button = m_buttons[static_cast<size_t>(m_pressedButton)];
    const CaptionButtonState state = over ? CaptionButtonState::Pressed : CaptionButtonState::Normal;
    if (button.state != state) {
        button.state = state;
        RepaintFrame();
    }
}

} // namespace kelm
