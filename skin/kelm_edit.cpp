#include "skin/kelm_edit.h"

#include "skin/palette.h"

namespace kelm {

KELM_IMPLEMENT_DYNAMIC(CKelmEdit, CEdit)

KELM_BEGIN_MESSAGE_MAP(CKelmEdit, CEdit)
    KELM_ON_WM_NCCALCSIZE()
    KELM_ON_WM_NCPAINT()
    KELM_ON_WM_CHAR()
    KELM_ON_WM_KILLFOCUS()
    KELM_ON_WM_SETCURSOR()
    KELM_ON_WM_LBUTTONDOWN()
    KELM_ON_WM_LBUTTONUP()
    KELM_ON_WM_ENABLE()
    KELM_ON_ACCESSIBILITY()
KELM_END_MESSAGE_MAP()

CKelmEdit::CKelmEdit()
    : m_borderColor(SkinColor(SkinSlot::EditBackColor)),
      m_activeBorderColor(RGB(54, 138, 211)),
      m_backColor(SkinColor(SkinSlot::EditBackColor)),
      m_textColor(RGB(255, 255, 255)),
      m_backBrush(CreateSolidBrush(m_backColor))
{
}

CKelmEdit::~CKelmEdit() = default;

void CKelmEdit::SetColors(COLORREF border, COLORREF activeBorder, COLORREF back, COLORREF text)
{
    m_borderColor = border;
    m_activeBorderColor = activeBorder;
    m_textColor = text;
    if (back != m_backColor || !m_backBrush) {
        m_backColor = back;
        m_backBrush.Reset(CreateSolidBrush(back));
    }
    if (m_hWnd) {
        SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        Invalidate();
    }
}

void CKelmEdit::PreSubclassWindow()
{
    CEdit::PreSubclassWindow();
    ModifyStyleEx(WS_EX_CLIENTEDGE, 0, SWP_FRAMECHANGED);
    ModifyStyle(WS_BORDER, 0, SWP_FRAMECHANGED);
}

void CKelmEdit::SetAccessibleName(const std::wstring& name)
{
    m_accessibleName = name;
    NotifyAccessibleChange(m_hWnd, EVENT_OBJECT_NAMECHANGE);
}

void CKelmEdit::DescribeForScreenReader(AccessibleFacts& facts) const
{
    facts.role = ROLE_SYSTEM_TEXT;
    facts.name = m_accessibleName;
    facts.state = (GetStyle() & ES_READONLY) != 0 ? STATE_SYSTEM_READONLY : 0;
    facts.value = GetWindowTextW();
}

bool CKelmEdit::IsEditable() const
{
    return IsWindowEnabled(m_hWnd) && (GetStyle() & ES_READONLY) == 0;
}

BOOL CKelmEdit::PreTranslateMessage(MSG* msg)
{
    if (msg->hwnd == m_hWnd && msg->message == WM_KEYDOWN && (GetKeyState(VK_CONTROL) & 0x8000) &&
        !(GetKeyState(VK_SHIFT) & 0x8000)) {
        switch (msg->wParam) {
        case 'A':
            SetSel(0, -1);
            return TRUE;
        case 'C':
            SendMessageW(WM_COPY);
            return TRUE;
        case 'V':
            if (m_allowPaste)
                SendMessageW(WM_PASTE);
            return TRUE;
        case 'X':
            SendMessageW(WM_CUT);
            return TRUE;
        default:
            break;
        }
    }
    return CEdit::PreTranslateMessage(msg);
}

LRESULT CKelmEdit::OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params)
{
    const LRESULT result = Default(WM_NCCALCSIZE, static_cast<WPARAM>(calcValidRects), reinterpret_cast<LPARAM>(params));
    if (!params)
        return result;
    RECT& client = params->rgrc[0];
    TEXTMETRICW metrics{};
    {
        WindowDc dc(m_hWnd);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(WM_GETFONT));
        SelectedObject fontSelection(dc.Get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
        GetTextMetricsW(dc.Get(), &metrics);
    }
    const int height = client.bottom - client.top;
    const int inset = (height - metrics.tmExternalLeading - metrics.tmHeight) / 2;
    client.left += 1;
    client.right -= 1;
    if (inset > 0) {
        client.top += inset;
        client.bottom -= inset;
    }
    return result;
}

void CKelmEdit::OnNcPaint(HRGN updateRegion)
{
    Default(WM_NCPAINT, reinterpret_cast<WPARAM>(updateRegion));
    WindowDc dc(m_hWnd, true);
    if (!dc)
        return;
    const CRect window = GetWindowRect();
    CRect client = GetClientRect();
    POINT origin{0, 0};
    ClientToScreen(m_hWnd, &origin);
    client.OffsetRect(origin.x - window.left, origin.y - window.top);
    const int width = window.Width();
    const int height = window.Height();
    {
        UniqueBrush back(CreateSolidBrush(m_backColor));
        const RECT above{1, 0, width - 1, client.top};
        const RECT below{1, client.bottom, width - 1, height};
        FillRect(dc.Get(), &above, back.Get());
        FillRect(dc.Get(), &below, back.Get());
    }
    const COLORREF frameColor = m_active && IsEditable() ? m_activeBorderColor : m_borderColor;
    UniqueBrush frame(CreateSolidBrush(frameColor));
    const RECT whole{0, 0, width, height};
    FrameRect(dc.Get(), &whole, frame.Get());
}

void CKelmEdit::OnChar(UINT character, UINT repeatCount, UINT flags)
{
    Default(WM_CHAR, character, MAKELPARAM(repeatCount, flags));
    if (m_inputMode == kFreeText && character == L'\r') {
        SendMessageW(EM_SETSEL, 0xFFFF, 0xFFFF);
        SendMessageW(EM_SCROLLCARET);
    }
}

void CKelmEdit::OnKillFocus(HWND next)
{
    m_active = false;
    Default(WM_KILLFOCUS, reinterpret_cast<WPARAM>(next));
    // The frame follows the state.
    SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_DRAWFRAME);
}

BOOL CKelmEdit::OnSetCursor(HWND, UINT, UINT)
{
    SetCursor(LoadCursorW(nullptr, IDC_IBEAM));
    return TRUE;
}

void CKelmEdit::OnLButtonDown(UINT keyFlags, CPoint point)
{
    SetCapture(m_hWnd);
    if (m_active || !IsEditable()) {
        Default(WM_LBUTTONDOWN, keyFlags, point.ToLParam());
    } else {
        SetFocus();
        SetSel(0, -1);
    }
    m_active = true;
    Invalidate(TRUE);
    SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_DRAWFRAME);
    m_textAtClick = GetWindowTextW();
}

void CKelmEdit::OnLButtonUp(UINT keyFlags, CPoint point)
{
    if (GetCapture() == m_hWnd)
        ReleaseCapture();
    Default(WM_LBUTTONUP, keyFlags, point.ToLParam());
}

void CKelmEdit::OnEnable(BOOL enabled)
{
    Default(WM_ENABLE, static_cast<WPARAM>(enabled));
    Invalidate(TRUE);
}

HBRUSH CKelmEdit::CtlColor(HDC dc, UINT)
{
    SetTextColor(dc, IsEditable() ? m_textColor : GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(dc, TRANSPARENT);
    SetBkColor(dc, m_backColor);
    return m_backBrush ? m_backBrush.Get() : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

} // namespace kelm
