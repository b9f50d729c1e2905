#pragma once
// CSuccessPanel: the last page, shown after a successful installation. "Start
// Now" (also Enter) opens the home page after a fresh installation, then half
// a second later starts the product and ends the wizard.

#include <windows.h>

#include <cstdint>

#include "skin/kelm_button.h"
#include "skin/kelm_static.h"
#include "skin/kelm_text_button.h"
#include "wizard/guide_panel.h"

namespace kelm {

class CSuccessPanel : public CGuidePanel {
    KELM_DECLARE_DYNAMIC(CSuccessPanel)
public:
    static constexpr UINT_PTR kLaunchTimer = 1125;
    static constexpr UINT kLaunchDelay = 500;

    CSuccessPanel();
    ~CSuccessPanel() override;

    void OnDrawBackground(HDC dc) override;
    void LayoutControls(const CRect& client) override;
    void OnActivatePanel() override;
    void UpdateTexts() override;
    BOOL CanClose() override;
    // Start Now: Enter starts the product.
    HWND DefaultFocus() override;

    // Opens the product's home page once, and only after a fresh installation.
    BOOL OpenHomePage();

    int32_t m_bLaunchOption = 1;
    int32_t m_bHomePageOpened = 0;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    void OnStartNow();
    void OnLaunchOption();
    void OnTimer(UINT_PTR timerId);

private:
    void ApplyLaunchImage();

    CKelmTextButton m_btnStart;
    CKelmButton m_chkLaunch;
    CKelmStatic m_lblLaunch;

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
