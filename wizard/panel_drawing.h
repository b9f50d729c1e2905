#pragma once
// The product icon and the large title that the settings and success pages
// draw on their background.

#include <windows.h>

#include <string>

#include "framework/geometry.h"

namespace kelm {

// Draws the program icon (64 pixels at 96 DPI) centred horizontally, its top
// `iconTop96` (scaled) below the client top; returns where it went.
CRect DrawPanelIcon(HDC dc, const CRect& client, double scaleX, int iconTop96);

// Draws `text` in the title font, white, centred, half a text height below the icon.
void DrawPanelTitle(HDC dc, const CRect& client, const CRect& icon, const std::wstring& text);

} // namespace kelm
