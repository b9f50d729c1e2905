#include "app/subsystem_links.h"

#include "app/brenvik_app.h"
#include "config/installed_flags.h"
#include "config/installer_config.h"
#include "framework/dialog.h"
#include "res/resource.h"
#include "skin/fonts.h"
#include "skin/palette.h"

namespace kelm {

void LinkRunFlags(CBrenvikApp& app) noexcept
{
    BindInstalledFlags(app.m_bProductInstalled, app.m_bRelatedProductInstalled);
}

void LinkSkinPalette(const COLORREF* palette) noexcept
{
    UseSkinPalette(palette);
}

void CreateSharedFonts() noexcept
{
    // A font that cannot be made leaves its controls on the system font.
    CreateSkinFonts();
}

void DeleteSharedFonts() noexcept
{
    DeleteSkinFonts();
}

bool LoadInstallerManifest() noexcept
{
    try {
        ManifestLoadReport report;
        if (LoadManifest(theConfig, AppInstalledFlags(), &report) == ManifestLoaded)
            return true;
        // Boxes about the product carry its short name; without one, the error caption.
        const std::wstring caption = theConfig.manifest.short_name.empty() ? GetUiString(IDS_ERR_CAPTION)
                                                                           : theConfig.manifest.short_name;
        const std::wstring text = DescribeManifestFault(theConfig, report);
        ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    } catch (...) {
        // Out of memory while reading the manifest: nothing sensible can follow.
    }
    return false;
}

namespace {

// The main window until the wizard's own window class replaces it.
class EmptyMainWindow : public CDialog {
public:
    explicit EmptyMainWindow(bool silent) : CDialog(IDD_INSTALL_GUIDE), m_silent(silent) {}

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        HICON icon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_INSTALLER));
        SetIcon(icon, TRUE);
        SetIcon(icon, FALSE);
        if (m_silent)
            EndDialog(IDCANCEL); // a silent run shows no window, and there is nothing to install yet
        return TRUE;
    }

private:
    bool m_silent;
};

} // namespace

void RunMainWindow(CBrenvikApp& app)
{
    EmptyMainWindow mainWindow(app.m_bSilent != 0);
    app.m_pMainWnd = &mainWindow;
    mainWindow.DoModal();
    app.m_pMainWnd = nullptr;
}

} // namespace kelm
