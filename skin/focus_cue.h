#pragma once
// The focus cue of the skinned controls: a light ring inside the control that
// shows on the dark skin at every DPI, drawn while the control has the focus
// and the keyboard is in use, as the system's own controls do: after the first
// key of the process, and while the window's UI state has no UISF_HIDEFOCUS
// (Wine keeps no UI state: there the first key alone decides).

#include <windows.h>

#include "framework/wnd.h"

namespace kelm {

// Notes the first key pressed in the process (`message` is one about to be
// dispatched) and repaints the focused control, whose cue shows from then on.
void NoteKeyboardUse(const MSG& message) noexcept;
bool KeyboardInUse() noexcept;
// Whether `control` shows its focus cue now.
bool ShowsFocusCue(HWND control);
// Draws the ring just inside `rect`, one pixel wide per 96 DPI.
void DrawFocusCue(HDC dc, const RECT& rect);

// The default handling of a message that changes whether the cue shows (focus
// gained or lost, keyboard cues), then a repaint of the control.
LRESULT DefaultThenRepaint(CWnd& control, UINT message, WPARAM wParam, LPARAM lParam);

// In a message map: those messages repaint the control's focus cue.
#define KELM_ON_FOCUS_CUE_CHANGES()                                                  \
    KELM_MESSAGE_ENTRY(WM_SETFOCUS, return ::kelm::DefaultThenRepaint(self, message, wParam, lParam);)  \
    KELM_MESSAGE_ENTRY(WM_KILLFOCUS, return ::kelm::DefaultThenRepaint(self, message, wParam, lParam);) \
    KELM_MESSAGE_ENTRY(WM_UPDATEUISTATE, return ::kelm::DefaultThenRepaint(self, message, wParam, lParam);)

// For WM_GETDLGCODE (lParam: the message about to be handled): whether it is
// Enter or Space going down, which a control that acts on them as a click
// takes itself (DLGC_WANTMESSAGE) instead of the dialog.
bool IsActivationKeyDown(LPARAM dialogCodeMessage) noexcept;

} // namespace kelm
