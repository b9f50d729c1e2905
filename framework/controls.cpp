#include "framework/controls.h"

namespace kelm {

KELM_IMPLEMENT_DYNAMIC(CButton, CWnd)

void CButton::DrawItem(DRAWITEMSTRUCT*)
{
}

bool CButton::ReflectDrawItem(DRAWITEMSTRUCT* item)
{
    DrawItem(item);
    return true;
}

KELM_IMPLEMENT_DYNAMIC(CStatic, CWnd)

void CStatic::DrawItem(DRAWITEMSTRUCT*)
{
}

bool CStatic::ReflectDrawItem(DRAWITEMSTRUCT* item)
{
    DrawItem(item);
    return true;
}

KELM_IMPLEMENT_DYNAMIC(CEdit, CWnd)

} // namespace kelm
