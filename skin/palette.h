#pragma once
// The skin's colours, read by slot from the application's skin palette.
// Until the application hands its palette over (UseSkinPalette), the skin reads
// its own copy of the start-up values, so the controls also work in programs
// that have no application object (tests, the control gallery).

#include <windows.h>

namespace kelm {

enum class SkinSlot : int {
    CaptionTextColor = 0,
    WindowBackColor = 1,
    FrameBorderColor = 3,
    FrameBackColor = 4,
    CloseHoverColor = 8,
    CaptionButtonHoverColor = 9,
    ClosePressedColor = 10,
    CaptionButtonPressedColor = 11,
    ButtonTextColor = 12,
    ProgressTrackColor = 22,
    ProgressBarColor = 23,
    LabelTextColor = 24,
    EditBackColor = 25,
    BrowseButtonColor = 26,
    TextButtonDisabledFill = 27,
    TextButtonFill = 28,
    TextButtonHoverFill = 29,
    TextButtonPressedFill = 30,
    TextButtonText = 31,
    TextButtonDisabledText = 32,
};

constexpr int kSkinPaletteSlots = 33;

// The colour of one slot.
COLORREF SkinColor(SkinSlot slot);

// Points the skin at the application's palette (kSkinPaletteSlots entries, kept
// alive by the caller for the life of the process); null returns to the defaults.
void UseSkinPalette(const COLORREF* slots);

// The start-up values of all slots (unread slots are 0).
const COLORREF* DefaultSkinPalette();

} // namespace kelm
