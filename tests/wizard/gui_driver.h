#pragma once
// Driving the installer's wizard from a test program under the same wineserver:
// its main window, pages and dialogs, and pictures of them. Processes, windows
// and message boxes in general: support/process_windows.h.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "support/process_windows.h"

namespace kelm::test {

// The wizard's main window (class "BrenvikClassName-CHS") of the process, or null.
HWND FindWizard(DWORD processId);
// The client-update dialog (a top-level dialog with the marquee bar 171), or null.
HWND FindCheckDialog(DWORD processId);
// For silent runs: a top-level window of the process that is visible at
// all (a zero-size one too) or is the foreground window (took the keyboard),
// described; empty when there is none.
std::string VisibleOrActiveWindow(DWORD processId);

// Waits until the window's thread has handled a message (it may be busy painting).
bool WaitResponsive(HWND window, int timeoutMs = 60000);

// Replaces the text of an edit box of another process.
void SetWindowTextOf(HWND window, const std::wstring& text);

// The visible page of the wizard that has item `id`, or null.
HWND FindVisiblePanelWith(HWND wizard, int id);
// Item `id` of the visible page that has it, or null.
HWND FindPanelItem(HWND wizard, int id);

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
// The window with the keyboard focus in the thread of `window`, or null.
HWND FocusOf(HWND window);

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

// A window for a failure message: its class, its top-level window and where
// that lies, its process and program.
std::string DescribeWindow(HWND window);

// The system folder-browse dialog that the process shows, or null: a visible
// top-level dialog with a folder tree.
HWND FindFolderBrowser(DWORD processId);
// The first descendant of `parent` with window class `className` (and text
// `text`, when given), or null.
HWND FindDescendant(HWND parent, const wchar_t* className, const wchar_t* text = nullptr);

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
