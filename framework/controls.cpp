#include "framework/controls.h"

namespace kelm {

namespace {

template <typename Control>
bool DrawItemFromParent(Control& control, UINT message, LPARAM lParam, LRESULT* result)
{
    if (message != WM_DRAWITEM)
        return false;
    control.DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    *result = TRUE;
    return true;
}

} // namespace

KELM_IMPLEMENT_DYNAMIC(CButton, CWnd)

void CButton::DrawItem(DRAWITEMSTRUCT*)
{
}

bool CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    return DrawItemFromParent(*this, message, lParam, result) || CWnd::OnChildNotify(message, wParam, lParam, result);
}

KELM_IMPLEMENT_DYNAMIC(CStatic, CWnd)

void CStatic::DrawItem(DRAWITEMSTRUCT*)
{
}

bool CStatic::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    return DrawItemFromParent(*this, message, lParam, result) || CWnd::OnChildNotify(message, wParam, lParam, result);
}

KELM_IMPLEMENT_DYNAMIC(CEdit, CWnd)

} // namespace kelm
