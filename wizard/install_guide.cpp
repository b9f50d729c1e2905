#include "wizard/install_guide.h"

#include "config/installer_config.h"
#include "framework/app.h"
#include "res/resource.h"
#include "skin/focus_cue.h"
#include "wizard/setting_panel.h"
#include "wizard/status_panel.h"
#include "wizard/success_panel.h"
#include "wizard/wizard_rules.h"

namespace kelm {

KELM_IMPLEMENT_DYNAMIC(CInstallGuide, CKelmDialog)

KELM_BEGIN_MESSAGE_MAP(CInstallGuide, CKelmDialog)
    KELM_ON_WM_CLOSE()
KELM_END_MESSAGE_MAP()

CInstallGuide::CInstallGuide(const WizardRunFlags& flags) : CKelmDialog(IDD_INSTALL_GUIDE), m_flags(flags) {}

CInstallGuide::~CInstallGuide() = default;

BOOL CInstallGuide::OnInitDialog()
{
    CKelmDialog::OnInitDialog();
    ModifyStyle(0, WS_CLIPCHILDREN); // the panels paint the whole client area

    HICON icon = LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_INSTALLER));
    SetIcon(icon, TRUE);
    SetIcon(icon, FALSE);
    SetWindowTextW(theConfig.manifest.full_name);

    auto create = [this](int32_t index, std::shared_ptr<CGuidePanel> panel, UINT templateId) {
        if (panel->Create(templateId, this))
            m_panels.emplace(index, std::move(panel));
    };
    create(PANEL_SETTINGS, std::make_shared<CSettingPanel>(), IDD_SETTING_PANEL);
    create(PANEL_STATUS, std::make_shared<CStatusPanel>(), IDD_STATUS_PANEL);
    create(PANEL_SUCCESS, std::make_shared<CSuccessPanel>(), IDD_SUCCESS_PANEL);

    const bool skipSettings = m_flags.productInstalled || m_flags.relatedProductInstalled || m_flags.silent;
    ShowPanel(skipSettings ? PANEL_STATUS : PANEL_SETTINGS);
    FitWindowToPanel();

    if (m_flags.silent) {
        // Never shown, never activated: the user's own program keeps the keyboard.
        KeepHiddenWhileModal();
        SetWindowPos(HWND_NOTOPMOST, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOACTIVATE);
        ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
        ShowWindow(SW_HIDE);
        return FALSE; // no focus either: focusing a control would activate the window
    }
    return FALSE; // ShowPanel put the focus on the page's own control
}

BOOL CInstallGuide::PreTranslateMessage(MSG* msg)
{
    // The first key shows the focus cue, as the system's own controls do once
    // the keyboard is used.
    NoteKeyboardUse(*msg);
    return CKelmDialog::PreTranslateMessage(msg);
}

bool CInstallGuide::ShowPanel(int32_t index)
{
    SetShowCaption(index == PANEL_STATUS);
    const auto found = m_panels.find(index);
    if (found == m_panels.end())
        return false;
    if (index != m_nCurrentPanel) {
        if (const auto shown = m_panels.find(m_nCurrentPanel); shown != m_panels.end())
            shown->second->ShowWindow(SW_HIDE);
    }
    m_nCurrentPanel = index;
    FitWindowToPanel();
    found->second->OnActivatePanel();
    found->second->ShowWindow(SW_SHOW);
    // The keyboard goes into the page shown: the hidden page's controls must
    // not keep the focus (Tab and Enter would act on them). A silent run's
    // hidden wizard takes no focus: focusing would activate it.
    if (!m_flags.silent)
        if (HWND focus = found->second->DefaultFocus(); focus != nullptr)
            ::SetFocus(focus);
    InvalidateRect(nullptr, TRUE);
    UpdateWindow();
    return true;
}

void CInstallGuide::FitWindowToPanel()
{
    CSize size;
    if (const auto shown = m_panels.find(m_nCurrentPanel); shown != m_panels.end())
        size = shown->second->GetPanelSize();
    // A size change never activates: a silent run's hidden wizard must not take the
    // foreground (and with it the keyboard) from the user's own program.
    SetWindowPos(nullptr, 0, 0, WizardWindowWidth(size.cx, CGuidePanel::ScaleX()), size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CInstallGuide::LayoutClient(const RECT& client)
{
    CKelmDialog::LayoutClient(client);
    for (auto& [index, panel] : m_panels) {
        if (panel->GetSafeHwnd() != nullptr)
            panel->MoveWindow(client, TRUE);
    }
}

void CInstallGuide::OnClose()
{
    const auto shown = m_panels.find(m_nCurrentPanel);
    if (shown == m_panels.end() || shown->second->CanClose())
        EndWizard();
}

void CInstallGuide::EndWizard()
{
    EndDialog(IDCANCEL);
}

} // namespace kelm
