#include "app/window_class.h"

namespace kelm {

bool RegisterInstallerWindowClass(HINSTANCE instance) noexcept
{
    WNDCLASSW windowClass{};
    // Copied, not hard-coded: the dialog manager needs the class's window extra bytes.
    if (!::GetClassInfoW(nullptr, WC_DIALOG, &windowClass))
        return false;
    windowClass.lpszClassName = kInstallerWindowClass;
    windowClass.hInstance = instance; // templates of this module name the class
    return ::RegisterClassW(&windowClass) != 0;
}

} // namespace kelm
