// The process: the application object and the Unicode entry point.
#include <windows.h>
#include <commctrl.h>

#include "app/brenvik_app.h"

namespace kelm {
CBrenvikApp theApp;
} // namespace kelm

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Progress bars (the client-update dialog) and the other common controls of version 6.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    return kelm::AfxWinMain(instance);
}
