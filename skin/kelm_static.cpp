#include "skin/kelm_static.h"

#include "framework/handles.h"
#include "skin/dpi.h"
#include "skin/focus_cue.h"
#include "skin/fonts.h"
#include "skin/memory_dc_canvas.h"

namespace kelm {

KELM_IMPLEMENT_DYNAMIC(CKelmStatic, CStatic)

KELM_BEGIN_MESSAGE_MAP(CKelmStatic, CStatic)
    KELM_ON_WM_MOUSEMOVE()
    KELM_ON_WM_LBUTTONDOWN()
    KELM_ON_WM_SETFOCUS()
    KELM_ON_WM_KILLFOCUS()
    KELM_ON_MESSAGE(WM_GETDLGCODE, OnGetDlgCode)
    KELM_ON_MESSAGE(WM_UPDATEUISTATE, OnUiStateChange)
    KELM_ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
    KELM_ON_ACCESSIBILITY()
KELM_END_MESSAGE_MAP()

CKelmStatic::~CKelmStatic() = default;

void CKelmStatic::SetText(const std::wstring& text)
{
    if (text == m_text && m_hWnd != nullptr && GetWindowTextW() == text)
        return;
    m_text = text;
    if (m_hWnd) {
        SetWindowTextW(text);
        Invalidate(TRUE);
    }
}

void CKelmStatic::SetStyle(HFONT font, COLORREF textColor, COLORREF backColor, UINT format)
{
    m_font = font;
    m_textColor = textColor;
    m_backColor = backColor;
    m_format = format;
    if (m_hWnd)
        Invalidate(TRUE);
}

void CKelmStatic::SetLink(bool isLink)
{
    m_isLink = isLink;
    if (m_hWnd)
        Invalidate(TRUE);
}

void CKelmStatic::DescribeForScreenReader(AccessibleFacts& facts) const
{
    facts.role = m_isLink ? ROLE_SYSTEM_LINK : ROLE_SYSTEM_STATICTEXT;
    facts.name = m_text;
    facts.state = m_isLink ? STATE_SYSTEM_LINKED : STATE_SYSTEM_READONLY;
}

void CKelmStatic::PreSubclassWindow()
{
    CStatic::PreSubclassWindow();
    ModifyStyle(0, SS_OWNERDRAW);
}

void CKelmStatic::DrawItem(DRAWITEMSTRUCT* item)
{
    const CRect area(item->rcItem);
    {
        MemoryDcCanvas canvas(item->hDC, area);
        if (!canvas)
            return;
        UniqueBrush back(CreateSolidBrush(m_backColor));
        FillRect(canvas.Dc(), &canvas.Bounds(), back.Get());
        if (!m_text.empty())
            DrawLabelText(canvas.Dc(), m_text, canvas.Bounds());
        canvas.CopyToTarget();
    }
    if (m_isLink && m_hasFocus && ShowsFocusCue(m_hWnd))
        DrawFocusCue(item->hDC, area);
}

void CKelmStatic::DrawLabelText(HDC dc, const std::wstring& text, RECT rect)
{
    SetBkMode(dc, TRANSPARENT);
    UniqueFont fallback;
    HFONT font = m_font;
    if (!font) {
        fallback.Reset(CreateArialFont(14 * ScreenDpiX() / 96));
        font = fallback.Get();
    }
    SelectedObject fontSelection(dc, font);
    SetTextColor(dc, m_textColor);
    DrawTextW(dc, text.c_str(), -1, &rect, m_format);
}

void CKelmStatic::OnMouseMove(UINT keyFlags, CPoint point)
{
    if (m_isLink)
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
    Default(WM_MOUSEMOVE, keyFlags, point.ToLParam());
}

void CKelmStatic::OnLButtonDown(UINT keyFlags, CPoint point)
{
    if (m_isLink)
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
    Default(WM_LBUTTONDOWN, keyFlags, point.ToLParam());
}

void CKelmStatic::OnSetFocus(HWND previous)
{
    Default(WM_SETFOCUS, reinterpret_cast<WPARAM>(previous));
    if (!m_hasFocus) {
        if (GetFocus() != m_hWnd)
            SetFocus();
        m_hasFocus = true;
        Invalidate(FALSE);
    }
}

void CKelmStatic::OnKillFocus(HWND next)
{
    Default(WM_KILLFOCUS, reinterpret_cast<WPARAM>(next));
    if (m_hasFocus) {
        m_hasFocus = false;
        Invalidate(FALSE);
    }
}

// A link takes Enter and Space itself, as a push button does, so the dialog
// keyboard interface hands those keys to it instead of acting on them.
LRESULT CKelmStatic::OnGetDlgCode(WPARAM key, LPARAM message)
{
    if (m_isLink && IsActivationKeyDown(message))
        return DLGC_WANTMESSAGE;
    return Default(WM_GETDLGCODE, key, message);
}

LRESULT CKelmStatic::OnKeyDown(WPARAM key, LPARAM flags)
{
    if (m_isLink && (key == VK_RETURN || key == VK_SPACE)) {
        // What a click on the link sends (SS_NOTIFY).
        if (HWND parent = ::GetParent(m_hWnd))
            ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(m_hWnd), STN_CLICKED),
                           reinterpret_cast<LPARAM>(m_hWnd));
        return 0;
    }
    return Default(WM_KEYDOWN, key, flags);
}

LRESULT CKelmStatic::OnUiStateChange(WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = Default(WM_UPDATEUISTATE, wParam, lParam);
    if (m_isLink && m_hWnd)
        Invalidate(FALSE);
    return result;
}

} // namespace kelm
