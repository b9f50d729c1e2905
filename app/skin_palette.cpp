#include "app/skin_palette.h"

namespace kelm {

COLORREF SkinPalette[kSkinPaletteSlotCount] = {};

void FillSkinPalette(COLORREF* slots) noexcept
{
    // Slots no window reads (2, 5 to 7, 13 to 21) hold the background colour.
    constexpr COLORREF background = RGB(24, 25, 30);
    for (int slot = 0; slot < kSkinPaletteSlotCount; ++slot)
        slots[slot] = background;

    slots[0] = RGB(200, 200, 200);  // CaptionTextColor
    slots[1] = RGB(24, 25, 30);     // WindowBackColor
    slots[3] = RGB(24, 25, 30);     // FrameBorderColor
    slots[4] = RGB(24, 25, 30);     // FrameBackColor
    slots[8] = RGB(181, 39, 36);    // CloseHoverColor
    slots[9] = RGB(49, 63, 73);     // CaptionButtonHoverColor
    slots[10] = RGB(149, 16, 14);   // ClosePressedColor
    slots[11] = RGB(28, 31, 33);    // CaptionButtonPressedColor
    slots[12] = RGB(255, 255, 255); // ButtonTextColor
    slots[22] = RGB(75, 71, 70);    // ProgressTrackColor
    slots[23] = RGB(7, 165, 216);   // ProgressBarColor
    slots[24] = RGB(185, 186, 187); // LabelTextColor
    slots[25] = RGB(47, 48, 52);    // EditBackColor
    slots[26] = RGB(65, 66, 70);    // BrowseButtonColor
    slots[27] = RGB(112, 112, 112); // TextButtonDisabledFill
    slots[28] = RGB(7, 165, 216);   // TextButtonFill
    slots[29] = RGB(23, 190, 244);  // TextButtonHoverFill
    slots[30] = RGB(5, 138, 181);   // TextButtonPressedFill
    slots[31] = RGB(255, 255, 255); // TextButtonText
    slots[32] = RGB(240, 240, 240); // TextButtonDisabledText
}

} // namespace kelm
