#pragma once
// The application object. The program defines exactly one global object of a
// class derived from CWinApp; its wWinMain returns AfxWinMain(instance, show),
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

    // The program's work. The result is kept in m_bInitSucceeded and not otherwise used.
    virtual BOOL InitInstance();
    // Clean-up after InitInstance; the result is the process exit code (0 by default).
    virtual int ExitInstance();

    // Names the registry key the framework would keep settings under. The framework
    // stores no settings, so this only records the name.
    void SetRegistryKey(const wchar_t* key) { m_strRegistryKey = key != nullptr ? key : L""; }
    const std::wstring& GetRegistryKey() const noexcept { return m_strRegistryKey; }

    HINSTANCE m_hInstance = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    CWnd* m_pMainWnd = nullptr;       // the main window while it runs; owner of message boxes
    std::wstring m_strAppName;        // caption of AfxMessageBox: the executable's name
    BOOL m_bInitSucceeded = FALSE;

private:
    std::wstring m_strRegistryKey;
};

CWinApp* AfxGetApp() noexcept;
CWnd* AfxGetMainWnd() noexcept;
// The main window's handle, or null: the owner of message boxes shown by code
// that knows no window of its own.
HWND AfxGetMainWindowHandle() noexcept;
// The module whose resources hold the dialog templates (the executable by default).
HINSTANCE AfxGetResourceHandle() noexcept;
void AfxSetResourceHandle(HINSTANCE instance) noexcept;

// A message box owned by the main window (or the active window) with the
// application's name as caption.
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK) noexcept;

// Runs the application object; exceptions never leave it.
int AfxWinMain(HINSTANCE instance, int showCommand) noexcept;

} // namespace kelm
