#pragma once
// The press of a skinned push button: the button holds the mouse capture from
// the press to the release, and a release over the button completes a click,
// which is posted to the parent as WM_COMMAND (BN_CLICKED).

#include <windows.h>

namespace kelm {

class ClickTracker {
public:
    // On WM_LBUTTONDOWN: begins a press unless one is under way.
    void Press(HWND button);
    // On WM_LBUTTONUP: ends the press; a release at `point` (client
    // coordinates) inside the button completes the click.
    void Release(HWND button, POINT point);
    // Drops the press without a click, giving back the capture if held.
    void Cancel(HWND button);

    bool IsPressed() const { return m_pressed; }
    // The pressed look alone, for showing a state: no capture, no click to come.
    void ShowPressed(bool pressed) { m_pressed = pressed; }

private:
    bool m_pressed = false;
    bool m_captured = false;
};

} // namespace kelm
