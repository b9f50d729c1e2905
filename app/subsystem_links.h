#pragma once
// Where start-up and exit call into subsystems that are built on their own: the
// configuration (run flags, manifest), the skin (palette, shared fonts), the
// client-update dialog and the main wizard window.

#include <windows.h>

#include <cstdint>
#include <string>

#include "config/client_validator.h"

namespace kelm {

class CBrenvikApp;

// The client-update dialog (template 172): it runs the client check on a task of
// its own and returns from DoModal only once that task has ended.
using ClientValidator = CClientValidator;

// Construction of the application object: hands its installed-product flags to the
// configuration's product detection (BindInstalledFlags).
void LinkRunFlags(CBrenvikApp& app) noexcept;

// After the palette is filled: points the skinned controls at it (UseSkinPalette).
void LinkSkinPalette(const COLORREF* palette) noexcept;

// The four shared fonts of the skin (CreateSkinFonts) and their deletion at exit.
void CreateSharedFonts() noexcept;
void DeleteSharedFonts() noexcept;

// Loads the installer manifest into the configuration object (LoadManifest). When
// it cannot be used, shows a message naming the manifest file and what is wrong,
// and returns false: the run then ends before any network access.
bool LoadInstallerManifest() noexcept;
// "/lang <value>": this run's texts and slides come from that language when its
// folder has a string.ini; the run's log says whether it did.
void UseRequestedLanguage(const std::wstring& requested) noexcept;

// Runs the main wizard window (CInstallGuide on template 139) modally as the
// application's main window.
void RunMainWindow(CBrenvikApp& app);

} // namespace kelm
