#pragma once
// CInstallGuide: the installer's main window. It holds the three wizard pages
// as child dialogs, shows one at a time, fits its size to the shown page and
// asks that page before it lets a close request through.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "skin/kelm_dialog.h"
#include "wizard/guide_panel.h"

namespace kelm {

// The application's run flags the wizard reads; all are set before it starts.
struct WizardRunFlags {
    int32_t silent = 0;                  // "/s": nothing is ever shown
    int32_t launchAfterInstall = 0;      // "/l": start the product instead of the success page
    int32_t productInstalled = 0;        // the product was found at start
    int32_t relatedProductInstalled = 0; // a related product was found at start
};

class CInstallGuide : public CKelmDialog {
    KELM_DECLARE_DYNAMIC(CInstallGuide)
public:
    explicit CInstallGuide(const WizardRunFlags& flags);
    ~CInstallGuide() override;

    // Makes page `index` the shown one; false when there is no such page.
    bool ShowPanel(int32_t index);
    // Sizes the window to the shown page (2 pixels wider, 4 at twice the DPI).
    void FitWindowToPanel();
    // Ends the wizard (the modal loop returns).
    void EndWizard();

    const WizardRunFlags& RunFlags() const noexcept { return m_flags; }

    std::unordered_map<int32_t, std::shared_ptr<CGuidePanel>> m_panels;
    int32_t m_nCurrentPanel = PANEL_SETTINGS;

protected:
    BOOL OnInitDialog() override;
    void LayoutClient(const RECT& client) override;
    // Enter and Escape never end the wizard; only a close request the shown page grants does.
    BOOL PreTranslateMessage(MSG* msg) override;
    void OnOK() override {}
    void OnCancel() override {}
    void OnClose();

private:
    WizardRunFlags m_flags;

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
