#pragma once
// Working the installer's wizard as a person does, from a GoogleTest program:
// mouse clicks and keys through the system's input queue, what a screen reader
// reads, and pictures of what the screen shows. Finding the wizard's windows:
// driving/wizard_windows.h.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "driving/wizard_windows.h"

namespace kelm::test {



// A left click of the mouse, as the user makes it, at the centre of `window`:
// the pointer moves there and the button goes down and up through the system's
// input queue; then it moves on to the screen's bottom-right corner, so that
// no later window shows a hovered control. False when another window lies on
// top of that point (the failure names that window and its program). Clicks
// follow each other no faster than the double-click time, so each one is a
// single click.
::testing::AssertionResult ClickWithMouse(HWND window);
// A key pressed and released, as the user types it, through the system's input
// queue into the foreground window (bring the target to the front first).
::testing::AssertionResult PressKey(WORD virtualKey);

// What a screen reader reads of a window's client object, as it reads it:
// AccessibleObjectFromWindow from this process, then accName, accRole,
// accState and accValue of the object itself. `error` says what failed.
struct ScreenReaderView {
    std::string error;
    std::wstring name;
    long role = 0;
    long state = 0;
    std::optional<std::wstring> value;
};
ScreenReaderView ReadAsScreenReader(HWND window);



// What the screen shows of a window, pixel by pixel (window coordinates).
struct WindowPicture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels; // rows top-down
    COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    // The pixels of `area` (clipped to the picture) that match.
    int Count(const RECT& area, const std::function<bool(COLORREF)>& match) const;
};
// Empty when the window has no area or the screen could not be read.
WindowPicture CaptureWindow(HWND window);
// Saves what the screen shows of `window` as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path);

} // namespace kelm::test
