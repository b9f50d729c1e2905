#pragma once
// The installer's own windows seen from another program under the same
// wineserver: the wizard, its visible page and its items, the client-update
// dialog, the folder browser, and what shows during a silent run. Used by the
// tests and by the demo's driver; no test framework here.

#include <windows.h>

#include <string>

#include "driving/process_windows.h"

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

// The window with the keyboard focus in the thread of `window`, or null.
HWND FocusOf(HWND window);

// A window for a failure message: its class, its top-level window and where
// that lies, its process and program.
std::string DescribeWindow(HWND window);

// The system folder-browse dialog that the process shows, or null: a visible
// top-level dialog with a folder tree.
HWND FindFolderBrowser(DWORD processId);
// The first descendant of `parent` with window class `className` (and text
// `text`, when given), or null.
HWND FindDescendant(HWND parent, const wchar_t* className, const wchar_t* text = nullptr);

} // namespace kelm::test
