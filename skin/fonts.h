#pragma once
// The skin's shared fonts, created once at start-up and used by every panel and
// button, and the "Arial" fonts made on demand for captions and plain labels.

#include <windows.h>

namespace kelm {

enum class SkinFontKind { Normal, Link, Button, Title };

// The description of a shared font for the given DPI values: "Microsoft YaHei UI",
// positive cell height 17 (Normal, Link; scaled by dpiY), 18 (Button) or 32 bold
// (Title; both scaled by dpiX); Link underlined.
LOGFONTW SkinFontDescription(SkinFontKind kind, int dpiX, int dpiY);

// An "Arial" font of the given cell height, normal weight, ANSI character set.
LOGFONTW ArialFontDescription(int height);
HFONT CreateArialFont(int height);

// Creates the four shared fonts for the screen's DPI (once; later calls keep
// them). False when one of them could not be made.
bool CreateSkinFonts();
// Deletes them at exit.
void DeleteSkinFonts();

// The shared fonts, null before CreateSkinFonts. Borrowed: never delete them.
HFONT NormalFont();
HFONT LinkFont();
HFONT ButtonFont();
HFONT TitleFont();

} // namespace kelm
