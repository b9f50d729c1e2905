#pragma once
// CSettingPanel: the first page of a fresh installation: the product's icon and
// name, the Install button, the acceptance of the licence terms, and the
// collapsible installation settings with the installation folder.

#include <windows.h>

#include <cstdint>
#include <string>

#include "skin/kelm_button.h"
#include "skin/kelm_edit.h"
#include "skin/kelm_static.h"
#include "skin/kelm_text_button.h"
#include "wizard/guide_panel.h"

namespace kelm {

class CSettingPanel : public CGuidePanel {
    KELM_DECLARE_DYNAMIC(CSettingPanel)
public:
    CSettingPanel();
    ~CSettingPanel() override;

    void OnDrawBackground(HDC dc) override;
    void LayoutControls(const CRect& client) override;
    CSize GetPanelSize() override;
    void OnActivatePanel() override;
    void UpdateTexts() override;
    BOOL CanClose() override;
    // Install, or the licence box while Install waits for it.
    HWND DefaultFocus() override;

    // Checks the folder in the edit box, creates its missing levels and stores
    // it; on failure tells the user and puts the stored folder back.
    bool ValidateInstallFolder();

    CPoint m_ptSeparator;
    int32_t m_bCollapsed = 0;
    int32_t m_bTermsAccepted = 0;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;

    void OnInstall();
    void OnAcceptClicked();
    void OnExpandClicked();
    void OnBrowse();
    void OnTermsLink();

private:
    void ApplyAcceptance();
    void ApplyExpandImage();
    void NameControlsForScreenReaders();
    void SetImageByDpi(CKelmButton& button, int firstId);

    CKelmTextButton m_btnInstall;
    CKelmButton m_chkAccept;
    CKelmStatic m_lblAccept;
    CKelmStatic m_lnkTerms;
    CKelmStatic m_lblSettings;
    CKelmButton m_btnExpand;
    CKelmStatic m_lblFolder;
    CKelmEdit m_edtFolder;
    CKelmButton m_btnBrowse;

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
