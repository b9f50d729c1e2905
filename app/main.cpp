#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"

namespace {

INT_PTR CALLBACK PlaceholderDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INSTALL_GUIDE), nullptr, PlaceholderDialogProc, 0);
    return 0;
}
