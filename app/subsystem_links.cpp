#include "app/subsystem_links.h"

#include "app/brenvik_app.h"
#include "framework/dialog.h"
#include "res/resource.h"

namespace kelm {

void LinkRunFlags(CBrenvikApp&) noexcept
{
}

void LinkSkinPalette(const COLORREF*) noexcept
{
}

void CreateSharedFonts() noexcept
{
}

void DeleteSharedFonts() noexcept
{
}

void LoadInstallerManifest() noexcept
{
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
