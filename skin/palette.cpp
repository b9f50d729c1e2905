#include "skin/palette.h"

namespace kelm {

namespace {

constexpr COLORREF kDefaults[kSkinPaletteSlots] = {
    RGB(200, 200, 200), // 0 CaptionTextColor
    RGB(24, 25, 30),    // 1 WindowBackColor
    0,
    RGB(24, 25, 30),    // 3 FrameBorderColor
    RGB(24, 25, 30),    // 4 FrameBackColor
    0, 0, 0,
    RGB(181, 39, 36),   // 8 CloseHoverColor
    RGB(49, 63, 73),    // 9 CaptionButtonHoverColor
    RGB(149, 16, 14),   // 10 ClosePressedColor
    RGB(28, 31, 33),    // 11 CaptionButtonPressedColor
    RGB(255, 255, 255), // 12 ButtonTextColor
    0, 0, 0, 0, 0, 0, 0, 0, 0,
    RGB(75, 71, 70),    // 22 ProgressTrackColor
    RGB(7, 165, 216),   // 23 ProgressBarColor
    RGB(185, 186, 187), // 24 LabelTextColor
    RGB(47, 48, 52),    // 25 EditBackColor
    RGB(65, 66, 70),    // 26 BrowseButtonColor
    RGB(112, 112, 112), // 27 TextButtonDisabledFill
    RGB(7, 165, 216),   // 28 TextButtonFill
    RGB(23, 190, 244),  // 29 TextButtonHoverFill
    RGB(5, 138, 181),   // 30 TextButtonPressedFill
    RGB(255, 255, 255), // 31 TextButtonText
    RGB(240, 240, 240), // 32 TextButtonDisabledText
};

const COLORREF* g_palette = kDefaults;

} // namespace

COLORREF SkinColor(SkinSlot slot)
{
    const int index = static_cast<int>(slot);
    if (index < 0 || index >= kSkinPaletteSlots)
        return 0;
    return g_palette[index];
}

void UseSkinPalette(const COLORREF* slots)
{
    g_palette = slots ? slots : kDefaults;
}

const COLORREF* DefaultSkinPalette()
{
    return kDefaults;
}

} // namespace kelm
