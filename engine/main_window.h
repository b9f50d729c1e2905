#pragma once
// The application's main window: owner of the engine's message boxes.

#include <windows.h>

#include "framework/app.h"

namespace kelm {

inline HWND MainWindowHandle()
{
    CWnd* window = AfxGetMainWnd();
    return window ? window->GetSafeHwnd() : nullptr;
}

} // namespace kelm
