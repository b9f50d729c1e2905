#pragma once
// The focus cue of the skinned controls: a light ring inside the control that
// shows on the dark skin at every DPI, drawn while the control has the focus
// and the keyboard is in use, as the system's own controls do: after the first
// key of the process, and while the window's UI state has no UISF_HIDEFOCUS
// (Wine keeps no UI state: there the first key alone decides).

#include <windows.h>

namespace kelm {

// Notes the first key pressed in the process (`message` is one about to be
// dispatched) and repaints the focused control, whose cue shows from then on.
void NoteKeyboardUse(const MSG& message) noexcept;
bool KeyboardInUse() noexcept;
// Whether `control` shows its focus cue now.
bool ShowsFocusCue(HWND control);
// Draws the ring just inside `rect`, one pixel wide per 96 DPI.
void DrawFocusCue(HDC dc, const RECT& rect);

// For WM_GETDLGCODE (lParam: the message about to be handled): whether it is
// Enter or Space going down, which a control that acts on them as a click
// takes itself (DLGC_WANTMESSAGE) instead of the dialog.
bool IsActivationKeyDown(LPARAM dialogCodeMessage) noexcept;

} // namespace kelm
