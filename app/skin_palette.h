#pragma once
// The skin palette: 33 colour slots (COLORREF, 0x00BBGGRR) filled once at
// start-up and only read afterwards. Every skinned window takes its colours
// from it by slot (slot 1, the window and panel background, is RGB 24, 25, 30).

#include <windows.h>

namespace kelm {

inline constexpr int kSkinPaletteSlotCount = 33;

extern COLORREF SkinPalette[kSkinPaletteSlotCount];

// Writes the start-up values into all 33 slots of `slots`.
void FillSkinPalette(COLORREF* slots) noexcept;

} // namespace kelm
