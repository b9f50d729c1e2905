#include "wizard/panel_drawing.h"

#include "framework/app.h"
#include "framework/handles.h"
#include "res/resource.h"
#include "skin/fonts.h"
#include "skin/palette.h"
#include "wizard/wizard_rules.h"

namespace kelm {


CRect DrawPanelIcon(HDC dc, const CRect& client, double scaleX, int iconTop96)
{
    const CRect rect = PanelIconRect(client, scaleX, iconTop96);
    UniqueIcon icon(static_cast<HICON>(LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_INSTALLER), IMAGE_ICON,
                                                  rect.Width(), rect.Height(), LR_DEFAULTCOLOR)));
    if (icon)
        DrawIconEx(dc, rect.left, rect.top, icon.Get(), rect.Width(), rect.Height(), 0, nullptr, DI_NORMAL);
    return rect;
}

void DrawPanelTitle(HDC dc, const CRect& client, const CRect& icon, const std::wstring& text)
{
    if (text.empty())
        return;
    SelectedObject font(dc, TitleFont());
    SIZE measured{0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &measured);
    CRect rect = PanelTitleRect(client, icon, measured.cy);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, SkinColor(SkinSlot::ButtonTextColor));
    DrawTextW(dc, text.c_str(), -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_WORD_ELLIPSIS);
}

} // namespace kelm
