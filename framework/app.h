#pragma once
// The application object. The program defines exactly one global object of a
// class derived from CWinApp; its wWinMain returns AfxWinMain(instance),
// which runs InitInstance and then ExitInstance, and returns ExitInstance's
// result as the process exit code. There is no message loop of the application
// itself: InitInstance runs the program's dialogs modally (CDialog::DoModal).

#include <windows.h>

#include <string>

#include "framework/wnd.h"

namespace kelm {

class CWinApp {
public:
    CWinApp() noexcept;
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The program's work; its result is not used.
    virtual BOOL InitInstance();
    // Clean-up after InitInstance; the result is the process exit code (0 by default).
    virtual int ExitInstance();

    // Names the registry key the framework would keep settings under. The framework
    // keeps no settings: nothing is stored.
    void SetRegistryKey(const wchar_t*) noexcept {}

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;       // the main window while it runs; owner of message boxes
    std::wstring m_strAppName;        // the executable's name: a caption for message boxes
};

CWinApp* AfxGetApp() noexcept;
CWnd* AfxGetMainWnd() noexcept;
// The main window's handle, or null: the owner of message boxes shown by code
// that knows no window of its own.
HWND AfxGetMainWindowHandle() noexcept;
// The module whose resources hold the dialog templates: the executable.
HINSTANCE AfxGetResourceHandle() noexcept;

// Runs the application object; exceptions never leave it.
int AfxWinMain(HINSTANCE instance) noexcept;

} // namespace kelm
