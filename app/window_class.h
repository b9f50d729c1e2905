#pragma once
// The main window's class: the system dialog class under the name a second copy
// of the program looks for.

#include <windows.h>

namespace kelm {

inline constexpr wchar_t kInstallerWindowClass[] = L"BrenvikClassName-CHS";

// Registers kInstallerWindowClass for `instance` with the attributes of the
// system dialog class; false when the registration failed.
bool RegisterInstallerWindowClass(HINSTANCE instance) noexcept;

} // namespace kelm
