#pragma once
// Windows Installer packages: installed with the installer's own UI off and the
// engine's message handler on.

#include <windows.h>

#include <string>

#include "engine/install_engine.h"
#include "trust/trusted_file.h"

namespace kelm {

// Command line for the package: reinstall of the installed product, or the
// installation folder when it exists, or nothing.
std::wstring MakeMsiCommandLine(bool productInstalled, bool relatedProductInstalled,
                                const std::wstring& installFolder);

// Installs the admitted package file through the engine's handler; returns the
// Windows Installer's result code (ERROR_INSTALL_PACKAGE_INVALID for a file
// that holds nothing). Handler boxes go to `owner` with `caption`.
UINT InstallMsiFile(CInstallEngine& engine, const InstallPackage& package, const TrustedFile& file,
                    const std::wstring& commandLine, HWND owner, const std::wstring& caption);

// Success, including success with a restart required.
bool IsMsiSuccess(UINT resultCode);

// The engine's step: the command line from the run flags and the installation
// folder, the boxes owned by the main window with the product's short name.
// Returns the Windows Installer's result code (IsMsiSuccess tells success).
UINT InstallMsiPackage(CInstallEngine& engine, const InstallPackage& package, const TrustedFile& file);

} // namespace kelm
