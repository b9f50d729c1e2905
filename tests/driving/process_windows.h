#pragma once
// Other programs started by a test and their windows, seen from outside under
// the same wineserver: start a program, find its top-level windows and message
// boxes, read them and press their buttons.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/handles.h"

namespace kelm::test {

// Polls `condition` every `pollMs` until it holds (true) or `timeoutMs` passed (false).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 50);

// A program started by the test; ended by force in the destructor when a failed
// assertion left it running.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Terminate(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `exe` with the command line "exe" arguments, in `folder` (empty: this
    // process's current folder), after ending the one started before if it still
    // runs. False when it cannot be started.
    bool Start(const std::wstring& exe, const std::wstring& arguments = L"", const std::wstring& folder = L"");
    DWORD Id() const { return m_id; }
    bool IsRunning() const;
    // True when the process ended within the time; its exit code goes to *code.
    bool WaitForExit(DWORD timeoutMs, DWORD* code = nullptr) const;
    // Ends the process if it still runs and waits for its end.
    void Terminate();

private:
    UniqueHandle m_process;
    DWORD m_id = 0;
};

// The running processes whose program file is named `fileName` (no folder;
// letter case ignored), e.g. every installer a run started.
std::vector<DWORD> ProcessesOfProgram(const std::wstring& fileName);

std::vector<HWND> TopLevelWindows(DWORD processId);
std::wstring ClassName(HWND window);
// Visible and with an area: what the user can see.
bool IsShown(HWND window);
// The first top-level window of the process whose class is `className`, or null.
HWND FindWindowOfClass(DWORD processId, const std::wstring& className);
// A visible message box of the process (a top-level dialog with the message
// text static 0xFFFF), or null.
HWND FindMessageBox(DWORD processId);

// The text of a window of another process (empty when it does not answer).
std::wstring WindowText(HWND window);
// The message of a message box; its caption is WindowText(box).
std::wstring MessageBoxText(HWND box);
// A click on dialog item `id` of `dialog`, posted as its WM_COMMAND (BN_CLICKED).
void ClickItem(HWND dialog, int id);
// Presses a message box button (IDOK, IDYES, IDNO, IDRETRY, IDCANCEL).
void AnswerMessageBox(HWND box, int buttonId);

} // namespace kelm::test
