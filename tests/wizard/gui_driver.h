#pragma once
// Driving another process's windows from a test program under the same
// wineserver: find its windows, read their texts, press their buttons, answer
// its message boxes and take pictures of them.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/handles.h"

namespace kelm::test {

// Polls `condition` every `pollMs` until it holds or `timeoutMs` passed.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs = 100)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
}

class ChildProcess {
public:
    // Starts `exe` with `arguments` (the command line is "exe" arguments) in `folder`.
    bool Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder);
    DWORD Id() const { return m_id; }
    bool IsRunning() const;
    // True when the process ended within the time; its exit code goes to *code.
    bool WaitForExit(int timeoutMs, DWORD* code = nullptr) const;
    // Ends a process that a failed test left running.
    void Terminate();
    ~ChildProcess() { Terminate(); }

private:
    UniqueHandle m_process;
    DWORD m_id = 0;
};

std::vector<HWND> TopLevelWindows(DWORD processId);
std::wstring ClassName(HWND window);
// The wizard's main window (class "BrenvikClassName-CHS") of the process, or null.
HWND FindWizard(DWORD processId);
// A message box of the process (a top-level dialog with the message text static 0xFFFF), or null.
HWND FindMessageBox(DWORD processId);
// The client-update dialog (a top-level dialog with the marquee bar 171), or null.
HWND FindCheckDialog(DWORD processId);
// Whether a window of the process is visible with a non-empty size.
bool AnyWindowShows(DWORD processId);

// Waits until the window's thread has handled a message (it may be busy painting).
bool WaitResponsive(HWND window, int timeoutMs = 60000);

// The text of a window of another process.
std::wstring WindowText(HWND window);
std::wstring MessageBoxText(HWND box);
// Replaces the text of an edit box of another process.
void SetWindowTextOf(HWND window, const std::wstring& text);
// A click on dialog item `id` of `dialog`, posted as its WM_COMMAND (BN_CLICKED).
void ClickItem(HWND dialog, int id);
// Ticks a message box button (IDOK, IDYES, IDNO, IDRETRY, IDCANCEL).
void AnswerMessageBox(HWND box, int buttonId);

// The visible page of the wizard that has item `id`, or null.
HWND FindVisiblePanelWith(HWND wizard, int id);
// Item `id` of the visible page that has it, or null.
HWND FindPanelItem(HWND wizard, int id);

// A left click of the mouse, as the user makes it, at the centre of `window`:
// the pointer moves there and the button goes down and up through the system's
// input queue; then it moves on to the screen's bottom-right corner, so that
// no later window shows a hovered control. False when another window lies on
// top of that point. Clicks follow each other no faster than the double-click
// time, so each one is a single click.
bool ClickWithMouse(HWND window);

// The system folder-browse dialog that the process shows, or null: a visible
// top-level dialog with a folder tree.
HWND FindFolderBrowser(DWORD processId);
// The first descendant of `parent` with window class `className` (and text
// `text`, when given), or null.
HWND FindDescendant(HWND parent, const wchar_t* className, const wchar_t* text = nullptr);

// Saves what the screen shows of `window` as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::wstring& path);

} // namespace kelm::test
