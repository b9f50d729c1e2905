#include "wizard/success_panel.h"

#include <shlwapi.h>

#include "config/installer_config.h"
#include "config/localised_format.h"
#include "config/ui_strings.h"
#include "config/shell_launch.h"
#include "framework/handles.h"
#include "res/resource.h"
#include "skin/dpi.h"
#include "skin/fonts.h"
#include "skin/image_loader.h"
#include "skin/palette.h"
#include "wizard/install_guide.h"
#include "wizard/panel_drawing.h"
#include "wizard/wizard_rules.h"

namespace kelm {

namespace {
constexpr UINT kStartNowId = IDOK;
constexpr UINT kLaunchCheckId = 150;
constexpr UINT kLaunchLabelId = 151;
constexpr int kCheckedImageFirstId = 153;   // 153 to 156 by DPI
constexpr int kUncheckedImageFirstId = 157; // 157 to 160
constexpr int kIconTop = 90;
} // namespace

KELM_IMPLEMENT_DYNAMIC(CSuccessPanel, CGuidePanel)

KELM_BEGIN_MESSAGE_MAP(CSuccessPanel, CGuidePanel)
    KELM_ON_WM_TIMER()
    KELM_ON_BN_CLICKED(kStartNowId, OnStartNow)
    KELM_ON_BN_CLICKED(kLaunchCheckId, OnLaunchOption)
KELM_END_MESSAGE_MAP()

CSuccessPanel::CSuccessPanel() : CGuidePanel(IDD_SUCCESS_PANEL) {}

CSuccessPanel::~CSuccessPanel() = default;

void CSuccessPanel::DoDataExchange(CDataExchange* exchange)
{
    CGuidePanel::DoDataExchange(exchange);
    DDX_Control(exchange, kStartNowId, m_btnStart);
    DDX_Control(exchange, kLaunchCheckId, m_chkLaunch);
    DDX_Control(exchange, kLaunchLabelId, m_lblLaunch);
}

BOOL CSuccessPanel::OnInitDialog()
{
    CDialog::OnInitDialog();
    RemoveCaptionStyles();
    m_chkLaunch.ShowWindow(SW_HIDE);
    m_lblLaunch.ShowWindow(SW_HIDE);
    const COLORREF back = SkinColor(SkinSlot::WindowBackColor);
    m_chkLaunch.Configure(SIZE{0, 0}, back, back, back, back, L"");
    m_lblLaunch.SetStyle(NormalFont(), SkinColor(SkinSlot::LabelTextColor), back, DT_SINGLELINE | DT_VCENTER);
    ApplyLaunchImage();
    return FALSE;
}

void CSuccessPanel::ApplyLaunchImage()
{
    const int id = DpiImageId(m_bLaunchOption ? kCheckedImageFirstId : kUncheckedImageFirstId);
    if (auto image = LoadResourceImage(id); image && image->Bitmap())
        m_chkLaunch.SetImage(image->Bitmap(), image->Width(), image->Height());
    m_chkLaunch.SetAccessibleState(m_bLaunchOption ? STATE_SYSTEM_CHECKED : 0);
}

void CSuccessPanel::UpdateTexts()
{
    m_btnStart.SetCaption(GetUiString(IDS_START_NOW));
    m_lblLaunch.SetText(FormatWithText(GetUiString(IDS_LAUNCH_APP), theConfig.manifest.full_name,
                                            IDS_LAUNCH_APP.defaultText));
    m_chkLaunch.SetAccessibility(ROLE_SYSTEM_CHECKBUTTON, m_lblLaunch.Text());
    LayoutControls(GetClientRect());
}

void CSuccessPanel::OnActivatePanel() { UpdateTexts(); }

HWND CSuccessPanel::DefaultFocus()
{
    return m_btnStart.m_hWnd;
}

void CSuccessPanel::LayoutControls(const CRect& client)
{
    const SuccessLayout layout = ComputeSuccessLayout(client, ScaleX(), ScaleY());
    if (m_btnStart.GetSafeHwnd() != nullptr)
        m_btnStart.MoveWindow(layout.startButton, TRUE);
    if (m_chkLaunch.GetSafeHwnd() != nullptr)
        m_chkLaunch.MoveWindow(layout.launchCheckBox, TRUE);
    if (m_lblLaunch.GetSafeHwnd() != nullptr)
        m_lblLaunch.MoveWindow(layout.launchLabel, TRUE);
}

void CSuccessPanel::OnDrawBackground(HDC dc)
{
    const CRect client = GetClientRect();
    const CRect icon = DrawPanelIcon(dc, client, ScaleX(), kIconTop);
    const std::wstring title = FormatWithText(GetUiString(IDS_PRODUCT_READY), theConfig.manifest.short_name,
                                              IDS_PRODUCT_READY.defaultText);
    DrawPanelTitle(dc, client, icon, title);
}

void CSuccessPanel::OnStartNow()
{
    OpenHomePage();
    SetTimer(kLaunchTimer, kLaunchDelay);
}

void CSuccessPanel::OnTimer(UINT_PTR timerId)
{
    if (timerId != kLaunchTimer)
        return;
    KillTimer(kLaunchTimer);
    const std::wstring program = GetProductExePath();
    if (PathFileExistsW(program.c_str())) {
        ComInitialization com;
        LaunchUnelevated(program);
    }
    if (CInstallGuide* guide = Guide())
        guide->EndWizard();
}

void CSuccessPanel::OnLaunchOption()
{
    m_bLaunchOption = m_bLaunchOption ? 0 : 1;
    ApplyLaunchImage();
}

BOOL CSuccessPanel::OpenHomePage()
{
    CInstallGuide* guide = Guide();
    const WizardRunFlags flags = guide != nullptr ? guide->RunFlags() : WizardRunFlags{};
    if (flags.productInstalled || flags.relatedProductInstalled || m_bHomePageOpened)
        return FALSE;
    if (!OpenWebPage(theConfig.homepageUrl))
        return FALSE; // none, or not a web address
    m_bHomePageOpened = 1;
    return TRUE;
}

BOOL CSuccessPanel::CanClose()
{
    OpenHomePage();
    return TRUE;
}

} // namespace kelm
