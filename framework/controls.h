#pragma once
// Control classes that bind to dialog items or child windows (DDX_Control,
// SubclassDlgItem). An owner-drawn button or static receives its parent's
// WM_DRAWITEM in DrawItem; add BS_OWNERDRAW / SS_OWNERDRAW in PreSubclassWindow
// (ModifyStyle) when the template does not have it. Colours: override CtlColor.

#include <windows.h>

#include "framework/wnd.h"

namespace kelm {

class CButton : public CWnd {
    KELM_DECLARE_DYNAMIC(CButton)
public:
    // Owner draw: called for the parent's WM_DRAWITEM about this button.
    virtual void DrawItem(DRAWITEMSTRUCT* item);
    bool ReflectDrawItem(DRAWITEMSTRUCT* item) override;
};

class CStatic : public CWnd {
    KELM_DECLARE_DYNAMIC(CStatic)
public:
    virtual void DrawItem(DRAWITEMSTRUCT* item);
    bool ReflectDrawItem(DRAWITEMSTRUCT* item) override;
};

class CEdit : public CWnd {
    KELM_DECLARE_DYNAMIC(CEdit)
public:
    void SetSel(int start, int end, bool noScroll = false) noexcept
    {
        SendMessageW(EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
        if (!noScroll)
            SendMessageW(EM_SCROLLCARET);
    }
};

} // namespace kelm
