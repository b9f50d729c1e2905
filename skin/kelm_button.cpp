#include "skin/kelm_button.h"

#include "skin/focus_cue.h"

#include "framework/handles.h"
#include "skin/fonts.h"
#include "skin/memory_dc_canvas.h"
#include "skin/palette.h"

namespace kelm {

KELM_IMPLEMENT_DYNAMIC(CKelmButton, CButton)

KELM_BEGIN_MESSAGE_MAP(CKelmButton, CButton)
    KELM_ON_WM_CREATE()
    KELM_ON_WM_MOUSEMOVE()
    KELM_ON_WM_MOUSEHOVER()
    KELM_ON_WM_MOUSELEAVE()
    KELM_ON_WM_LBUTTONDOWN()
    KELM_ON_WM_LBUTTONUP()
    KELM_ON_WM_ERASEBKGND()
    KELM_MESSAGE_ENTRY(WM_UPDATEUISTATE, return DefaultThenRepaint(self, message, wParam, lParam);)
    KELM_ON_MESSAGE(WM_GETDLGCODE, OnGetDlgCode)
    KELM_ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
    KELM_ON_ACCESSIBILITY()
KELM_END_MESSAGE_MAP()

CKelmButton::~CKelmButton() = default;

void CKelmButton::Configure(SIZE imageSize, COLORREF normal, COLORREF hover, COLORREF pressed, COLORREF border,
                            const std::wstring& text)
{
    m_image = nullptr;
    m_frameCount = 0;
    m_imageWidth = imageSize.cx;
    m_imageHeight = imageSize.cy;
    m_normalColor = normal;
    m_hoverColor = hover;
    m_pressedColor = pressed;
    m_borderColor = border;
    m_text = text;
}

void CKelmButton::SetImage(HBITMAP image, int width, int height)
{
    m_image = image;
    m_imageWidth = width;
    m_imageHeight = height;
    m_frameCount = 1;
    m_framesHorizontal = true;
    if (m_hWnd)
        Invalidate();
}

void CKelmButton::SetAccessibility(long role, const std::wstring& name)
{
    m_accessibleRole = role;
    m_accessibleName = name;
    NotifyAccessibleChange(m_hWnd, EVENT_OBJECT_NAMECHANGE);
}

void CKelmButton::SetAccessibleState(long state)
{
    if (state == m_accessibleState)
        return;
    m_accessibleState = state;
    NotifyAccessibleChange(m_hWnd, EVENT_OBJECT_STATECHANGE);
}

// An owner-drawn button is no push button to the dialog, which would turn Enter
// into its own default command: a push button takes Enter itself, as the
// system's do (Space the button's window procedure handles already).
LRESULT CKelmButton::OnGetDlgCode(WPARAM key, LPARAM message)
{
    const LRESULT code = Default(WM_GETDLGCODE, key, message);
    const auto* pending = reinterpret_cast<const MSG*>(message);
    if (m_accessibleRole == ROLE_SYSTEM_PUSHBUTTON && pending != nullptr && pending->message == WM_KEYDOWN &&
        pending->wParam == VK_RETURN)
        return code | DLGC_WANTMESSAGE;
    return code;
}

LRESULT CKelmButton::OnKeyDown(WPARAM key, LPARAM flags)
{
    if (key != VK_RETURN || m_accessibleRole != ROLE_SYSTEM_PUSHBUTTON)
        return Default(WM_KEYDOWN, key, flags);
    if (HWND parent = ::GetParent(m_hWnd))
        ::PostMessageW(parent, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(m_hWnd), BN_CLICKED),
                       reinterpret_cast<LPARAM>(m_hWnd));
    return 0;
}

void CKelmButton::DescribeForScreenReader(AccessibleFacts& facts) const
{
    facts.role = m_accessibleRole;
    facts.name = m_accessibleName.empty() ? m_text : m_accessibleName;
    facts.state = m_accessibleState;
}

void CKelmButton::PreSubclassWindow()
{
    CButton::PreSubclassWindow();
    ModifyStyle(0, BS_OWNERDRAW);
}

BOOL CKelmButton::PreTranslateMessage(MSG* msg)
{
    if (msg->hwnd == m_hWnd) {
        // A double click counts as a second click.
        if (msg->message == WM_LBUTTONDBLCLK)
            msg->message = WM_LBUTTONDOWN;
        if (msg->message == WM_LBUTTONDOWN)
            SetFocus();
    }
    return CButton::PreTranslateMessage(msg);
}

int CKelmButton::OnCreate(CREATESTRUCTW* create)
{
    Invalidate();
    return static_cast<int>(Default(WM_CREATE, 0, reinterpret_cast<LPARAM>(create)));
}

void CKelmButton::OnMouseMove(UINT keyFlags, CPoint point)
{
    if (!m_tracking) {
        TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, m_hWnd, 1};
        m_tracking = TrackMouseEvent(&track) != FALSE;
    }
    Default(WM_MOUSEMOVE, keyFlags, point.ToLParam());
}

void CKelmButton::OnMouseHover(UINT, CPoint)
{
    m_tracking = true;
    m_hover = true;
    Invalidate(FALSE);
}

void CKelmButton::OnMouseLeave()
{
    m_tracking = false;
    m_hover = false;
    Invalidate(FALSE);
}

void CKelmButton::OnLButtonDown(UINT keyFlags, CPoint point)
{
    m_click.Press(m_hWnd);
    Default(WM_LBUTTONDOWN, keyFlags, point.ToLParam());
}

void CKelmButton::OnLButtonUp(UINT keyFlags, CPoint point)
{
    m_click.Release(m_hWnd, point);
    Default(WM_LBUTTONUP, keyFlags, point.ToLParam());
}

BOOL CKelmButton::OnEraseBkgnd(HDC)
{
    return TRUE;
}

void CKelmButton::DrawItem(DRAWITEMSTRUCT* item)
{
    MemoryDcCanvas canvas(item->hDC, item->rcItem);
    if (!canvas)
        return;
    HDC dc = canvas.Dc();
    const int width = canvas.Width();
    const int height = canvas.Height();
    const RECT& local = canvas.Bounds();
    SetStretchBltMode(dc, COLORONCOLOR);

    {
        UniqueBrush back(CreateSolidBrush(m_normalColor));
        FillRect(dc, &local, back.Get());
    }
    if (m_hover || m_click.IsPressed()) {
        const COLORREF state = m_click.IsPressed() ? m_pressedColor : m_hoverColor;
        UniquePen pen(CreatePen(PS_SOLID, 1, m_borderColor));
        UniqueBrush brush(CreateSolidBrush(state));
        SelectedObject penSelection(dc, pen.Get());
        SelectedObject brushSelection(dc, brush.Get());
        Rectangle(dc, 0, 0, width, height);
    }
    if (m_frameCount > 0 && m_image) {
        const int frameWidth = m_framesHorizontal ? m_imageWidth / m_frameCount : m_imageWidth;
        const int frameHeight = m_framesHorizontal ? m_imageHeight : m_imageHeight / m_frameCount;
        UniqueMemoryDc imageDc(CreateCompatibleDC(dc));
        if (imageDc) {
            SelectedObject imageSelection(imageDc.Get(), m_image);
            AlphaBlend(dc, (width - frameWidth) / 2, (height - frameHeight) / 2, frameWidth, frameHeight,
                       imageDc.Get(), 0, 0, frameWidth, frameHeight, m_blend);
        }
    }
    if (!m_text.empty()) {
        SelectedObject fontSelection(dc, ButtonFont() ? ButtonFont() : GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, SkinColor(SkinSlot::ButtonTextColor));
        RECT textRect = local;
        DrawTextW(dc, m_text.c_str(), -1, &textRect,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_WORD_ELLIPSIS);
    }
    if (ShowsFocusCue(m_hWnd))
        DrawFocusCue(dc, local);
    canvas.CopyToTarget();
}


} // namespace kelm
