#include "skin/kelm_static.h"

#include "framework/handles.h"
#include "skin/dpi.h"
#include "skin/fonts.h"

using kelm::CPoint;
using kelm::CRect;

KELM_IMPLEMENT_DYNAMIC(CKelmStatic, kelm::CStatic)

KELM_BEGIN_MESSAGE_MAP(CKelmStatic, kelm::CStatic)
    KELM_ON_WM_MOUSEMOVE()
    KELM_ON_WM_LBUTTONDOWN()
    KELM_ON_WM_MOUSELEAVE()
    KELM_ON_WM_LBUTTONUP()
    KELM_ON_WM_SETFOCUS()
    KELM_ON_WM_KILLFOCUS()
KELM_END_MESSAGE_MAP()

CKelmStatic::~CKelmStatic() = default;

void CKelmStatic::SetText(const std::wstring& text)
{
    m_text = text;
    if (m_hWnd)
        SetWindowTextW(text);
}

void CKelmStatic::PreSubclassWindow()
{
    kelm::CStatic::PreSubclassWindow();
    ModifyStyle(0, SS_OWNERDRAW);
}

void CKelmStatic::DrawItem(DRAWITEMSTRUCT* item)
{
    const CRect area(item->rcItem);
    const int width = area.Width();
    const int height = area.Height();
    if (width <= 0 || height <= 0)
        return;
    {
        kelm::UniqueMemoryDc memoryDc(CreateCompatibleDC(item->hDC));
        kelm::UniqueBitmap canvas(CreateCompatibleBitmap(item->hDC, width, height));
        if (!memoryDc || !canvas)
            return;
        kelm::SelectedObject canvasSelection(memoryDc.Get(), canvas.Get());
        const RECT local{0, 0, width, height};
        kelm::UniqueBrush back(CreateSolidBrush(m_backColor));
        FillRect(memoryDc.Get(), &local, back.Get());
        if (!m_text.empty())
            DrawLabelText(memoryDc.Get(), m_text, local);
        BitBlt(item->hDC, area.left, area.top, width, height, memoryDc.Get(), 0, 0, SRCCOPY);
    }
    if (m_isLink && m_hasFocus) {
        RECT focus{area.left + 2, area.top + 2, area.left + width - 2, area.top + height - 2};
        DrawFocusRect(item->hDC, &focus);
    }
}

void CKelmStatic::DrawLabelText(HDC dc, const std::wstring& text, RECT rect)
{
    SetBkMode(dc, TRANSPARENT);
    kelm::UniqueFont fallback;
    HFONT font = m_font;
    if (!font) {
        fallback.Reset(CreateArialFont(14 * ScreenDpiX() / 96));
        font = fallback.Get();
    }
    kelm::SelectedObject fontSelection(dc, font);
    SetTextColor(dc, m_textColor);
    DrawTextW(dc, text.c_str(), -1, &rect, m_format);
}

void CKelmStatic::OnMouseMove(UINT, CPoint)
{
    if (m_isLink)
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
    Default();
}

void CKelmStatic::OnLButtonDown(UINT, CPoint)
{
    if (m_isLink)
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
    Default();
}

void CKelmStatic::OnMouseLeave()
{
    Default();
}

void CKelmStatic::OnLButtonUp(UINT, CPoint)
{
    Default();
}

void CKelmStatic::OnSetFocus(HWND)
{
    Default();
    if (!m_hasFocus) {
        if (GetFocus() != m_hWnd)
            SetFocus();
        m_hasFocus = true;
        Invalidate(FALSE);
    }
}

void CKelmStatic::OnKillFocus(HWND)
{
    Default();
    if (m_hasFocus) {
        m_hasFocus = false;
        Invalidate(FALSE);
    }
}
