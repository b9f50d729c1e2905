#pragma once
// Where start-up and exit call into subsystems that are built on their own: the
// configuration (run flags, manifest), the skin (palette, shared fonts), the
// client-update dialog and the main wizard window. Each link is connected here
// when its subsystem arrives; until then it does what lets the program start,
// show its main window and end cleanly.

#include <windows.h>

#include <cstdint>
#include <string>

namespace kelm {

class CBrenvikApp;

// The client-update dialog (template 172) as start-up uses it. Stand-in until
// the configuration subsystem's CClientValidator takes its place: it checks
// nothing and lets start-up go on to the wizard.
class PendingClientValidator {
public:
    INT_PTR DoModal() { return IDOK; }

    int32_t m_nCheckOutcome = 0;    // ClientCheckOutcome
    std::wstring m_strNewClientPath;
};
using ClientValidator = PendingClientValidator;

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

// Runs the main wizard window (CInstallGuide on template 139) modally as the
// application's main window. Until the wizard arrives: the empty template 139
// with the program icon, which a second copy finds by its class.
void RunMainWindow(CBrenvikApp& app);

} // namespace kelm
