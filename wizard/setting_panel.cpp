#include "wizard/setting_panel.h"

#include "runlog/run_log.h"
#include "runlog/run_message.h"
#include "runlog/run_outcome.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "config/installer_config.h"
#include "config/localised_format.h"
#include "config/ui_strings.h"
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
constexpr UINT kInstallId = 133;
constexpr UINT kAcceptCheckId = 134;
constexpr UINT kAcceptLabelId = 135;
constexpr UINT kSettingsLabelId = 136;
constexpr UINT kExpandId = 138;
constexpr UINT kFolderLabelId = 140;
constexpr UINT kFolderEditId = 143;
constexpr UINT kBrowseId = 148;
constexpr UINT kTermsLinkId = 152;

constexpr int kAcceptedImageFirstId = 153;    // 153 to 156 by DPI
constexpr int kNotAcceptedImageFirstId = 157; // 157 to 160
constexpr int kExpandedImageFirstId = 161;    // 161 to 164
constexpr int kCollapsedImageFirstId = 165;   // 165 to 168
constexpr int kIconTop = 48;

constexpr COLORREF kLinkColor = RGB(89, 134, 178);
constexpr COLORREF kSeparatorColor = 0x282828;

// Computed once during static initialisation, like the default page size.
const int g_collapsibleHeight = CollapsibleHeight(DpiScale(ScreenDpiY()));

void StyleLabel(CKelmStatic& label, HFONT font, COLORREF color, UINT format)
{
    label.SetStyle(font, color, SkinColor(SkinSlot::WindowBackColor), format);
}

// Selects the start folder when the dialog opens, and allows OK only for a
// selection that is a file-system folder.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM lParam, LPARAM startFolder)
{
    if (message == BFFM_INITIALIZED && startFolder != 0) {
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, startFolder);
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH] = {};
        const bool resolved = lParam != 0 && SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path);
        SendMessageW(window, BFFM_ENABLEOK, 0, resolved && path[0] != L'\0');
    }
    return 0;
}

struct ItemIdListTraits {
    static PIDLIST_ABSOLUTE Invalid() noexcept { return nullptr; }
    static void Close(PIDLIST_ABSOLUTE list) noexcept { ::CoTaskMemFree(list); }
};
using UniqueItemIdList = UniqueHandleT<ItemIdListTraits>;

} // namespace

KELM_IMPLEMENT_DYNAMIC(CSettingPanel, CGuidePanel)

KELM_BEGIN_MESSAGE_MAP(CSettingPanel, CGuidePanel)
    KELM_ON_BN_CLICKED(kInstallId, OnInstall)
    KELM_ON_BN_CLICKED(kAcceptCheckId, OnAcceptClicked)
    KELM_ON_BN_CLICKED(kExpandId, OnExpandClicked)
    KELM_ON_BN_CLICKED(kBrowseId, OnBrowse)
    KELM_ON_BN_CLICKED(kTermsLinkId, OnTermsLink)
    KELM_ON_BN_CLICKED(kSettingsLabelId, OnExpandClicked)
KELM_END_MESSAGE_MAP()

CSettingPanel::CSettingPanel() : CGuidePanel(IDD_SETTING_PANEL) {}

CSettingPanel::~CSettingPanel() = default;

void CSettingPanel::DoDataExchange(CDataExchange* exchange)
{
    CGuidePanel::DoDataExchange(exchange);
    DDX_Control(exchange, kInstallId, m_btnInstall);
    DDX_Control(exchange, kAcceptCheckId, m_chkAccept);
    DDX_Control(exchange, kAcceptLabelId, m_lblAccept);
    DDX_Control(exchange, kTermsLinkId, m_lnkTerms);
    DDX_Control(exchange, kSettingsLabelId, m_lblSettings);
    DDX_Control(exchange, kExpandId, m_btnExpand);
    DDX_Control(exchange, kFolderLabelId, m_lblFolder);
    DDX_Control(exchange, kFolderEditId, m_edtFolder);
    DDX_Control(exchange, kBrowseId, m_btnBrowse);
}

BOOL CSettingPanel::OnInitDialog()
{
    CDialog::OnInitDialog();
    RemoveCaptionStyles();

    const COLORREF label = SkinColor(SkinSlot::LabelTextColor);
    StyleLabel(m_lblAccept, NormalFont(), label, DT_SINGLELINE | DT_BOTTOM);
    StyleLabel(m_lblSettings, NormalFont(), label, DT_SINGLELINE | DT_BOTTOM | DT_RIGHT);
    StyleLabel(m_lblFolder, NormalFont(), label, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    StyleLabel(m_lnkTerms, LinkFont(), kLinkColor, DT_SINGLELINE | DT_BOTTOM);
    m_lnkTerms.SetLink(true);
    m_lblAccept.SetText(GetUiString(IDS_ACCEPT_LICENSE_TERMS));
    m_lnkTerms.SetText(GetUiString(IDS_LINK_LICENSE_TERMS));
    m_lblSettings.SetText(GetUiString(IDS_INSTALL_SETTINGS));
    m_lblFolder.SetText(GetUiString(IDS_INSTALL_FOLDER));
    m_btnInstall.SetCaption(GetUiString(IDS_INSTALL));

    const COLORREF back = SkinColor(SkinSlot::WindowBackColor);
    m_chkAccept.Configure(SIZE{0, 0}, back, back, back, back, L"");
    m_btnExpand.Configure(SIZE{0, 0}, back, back, back, back, L"");
    const COLORREF browse = SkinColor(SkinSlot::BrowseButtonColor);
    m_btnBrowse.Configure(SIZE{0, 0}, browse, browse, browse, browse, L"...");

    const COLORREF editBack = SkinColor(SkinSlot::EditBackColor);
    m_edtFolder.SetColors(editBack, RGB(54, 138, 211), editBack, RGB(255, 255, 255));
    m_edtFolder.SetInputMode(CKelmEdit::kFreeText);
    m_edtFolder.SetWindowTextW(theConfig.installFolder);

    NameControlsForScreenReaders();
    m_bTermsAccepted = IsOptInRegion() ? 0 : 1;
    ApplyAcceptance();
    ApplyExpandImage();
    return FALSE;
}

void CSettingPanel::SetImageByDpi(CKelmButton& button, int firstId)
{
    if (auto image = LoadResourceImage(DpiImageId(firstId)); image && image->Bitmap())
        button.SetImage(image->Bitmap(), image->Width(), image->Height());
}

void CSettingPanel::ApplyAcceptance()
{
    SetImageByDpi(m_chkAccept, m_bTermsAccepted ? kAcceptedImageFirstId : kNotAcceptedImageFirstId);
    m_btnInstall.SetEnabled(m_bTermsAccepted != 0);
    m_chkAccept.SetAccessibleState(m_bTermsAccepted ? STATE_SYSTEM_CHECKED : 0);
}

// The image buttons and the edit box have no text of their own: the labels
// beside them name them.
void CSettingPanel::NameControlsForScreenReaders()
{
    m_chkAccept.SetAccessibility(ROLE_SYSTEM_CHECKBUTTON, GetUiString(IDS_ACCEPT_LICENSE_SENTENCE));
    m_btnExpand.SetAccessibility(ROLE_SYSTEM_PUSHBUTTON, GetUiString(IDS_INSTALL_SETTINGS));
    m_edtFolder.SetAccessibleName(GetUiString(IDS_INSTALL_FOLDER));
}

void CSettingPanel::ApplyExpandImage()
{
    SetImageByDpi(m_btnExpand, m_bCollapsed ? kCollapsedImageFirstId : kExpandedImageFirstId);
    m_btnExpand.SetAccessibleState(m_bCollapsed ? STATE_SYSTEM_COLLAPSED : STATE_SYSTEM_EXPANDED);
}

CSize CSettingPanel::GetPanelSize()
{
    CSize size = DefaultPanelSize();
    if (m_bCollapsed)
        size.cy -= g_collapsibleHeight;
    return size;
}

void CSettingPanel::OnActivatePanel() { UpdateTexts(); }

HWND CSettingPanel::DefaultFocus()
{
    return m_bTermsAccepted ? m_btnInstall.m_hWnd : m_chkAccept.m_hWnd;
}

void CSettingPanel::UpdateTexts()
{
    m_btnInstall.SetCaption(GetUiString(IDS_INSTALL));
    m_lblAccept.SetText(GetUiString(IDS_ACCEPT_LICENSE_TERMS));
    m_lnkTerms.SetText(GetUiString(IDS_LINK_LICENSE_TERMS));
    m_lblSettings.SetText(GetUiString(IDS_INSTALL_SETTINGS));
    m_lblFolder.SetText(GetUiString(IDS_INSTALL_FOLDER));
    NameControlsForScreenReaders();
    LayoutControls(GetClientRect());
}

void CSettingPanel::LayoutControls(const CRect& client)
{
    if (m_btnInstall.GetSafeHwnd() == nullptr)
        return; // sized before the controls are bound
    const double sX = ScaleX();
    const double sY = ScaleY();
    SettingTextSizes sizes = DefaultSettingTextSizes(sX, sY);
    MeasureText(GetUiString(IDS_ACCEPT_LICENSE_TERMS), NormalFont(), sizes.acceptLabel);
    MeasureText(GetUiString(IDS_LINK_LICENSE_TERMS), LinkFont(), sizes.termsLink);
    MeasureText(GetUiString(IDS_INSTALL_SETTINGS), LinkFont(), sizes.settingsLabel);
    MeasureText(GetUiString(IDS_INSTALL_FOLDER), NormalFont(), sizes.folderLabel);
    const bool labelFirst =
        AcceptLabelComesFirst(GetUiString(IDS_ACCEPT_LICENSE_SENTENCE), GetUiString(IDS_ACCEPT_LICENSE_TERMS));
    const SettingLayout layout = ComputeSettingLayout(client, sX, sY, sizes, labelFirst);

    m_btnInstall.MoveWindow(layout.installButton, TRUE);
    m_chkAccept.MoveWindow(layout.checkBox, TRUE);
    m_lblAccept.MoveWindow(layout.acceptLabel, TRUE);
    m_lnkTerms.MoveWindow(layout.termsLink, TRUE);
    m_btnExpand.MoveWindow(layout.expandButton, TRUE);
    m_lblSettings.MoveWindow(layout.settingsLabel, TRUE);
    m_ptSeparator = layout.separator;
    m_lblFolder.MoveWindow(layout.folderLabel, TRUE);
    m_edtFolder.MoveWindow(layout.folderEdit, TRUE);
    m_btnBrowse.MoveWindow(layout.browseButton, TRUE);
}

void CSettingPanel::OnDrawBackground(HDC dc)
{
    const CRect client = GetClientRect();
    const CRect icon = DrawPanelIcon(dc, client, ScaleX(), kIconTop);
    DrawPanelTitle(dc, client, icon, theConfig.manifest.full_name);
    if (!(m_ptSeparator == CPoint(0, 0))) {
        UniquePen pen(CreatePen(PS_SOLID, 1, kSeparatorColor));
        SelectedObject selected(dc, pen.Get());
        MoveToEx(dc, m_ptSeparator.x, m_ptSeparator.y, nullptr);
        LineTo(dc, client.right, m_ptSeparator.y);
    }
}

void CSettingPanel::OnAcceptClicked()
{
    m_bTermsAccepted = m_bTermsAccepted ? 0 : 1;
    ApplyAcceptance();
}

void CSettingPanel::OnExpandClicked()
{
    m_bCollapsed = m_bCollapsed ? 0 : 1;
    if (CInstallGuide* guide = Guide())
        guide->FitWindowToPanel();
    ApplyExpandImage();
}

void CSettingPanel::OnTermsLink()
{
    OpenWebPage(GetLink(IDS_RLINK_TERMS));
}

void CSettingPanel::OnBrowse()
{
    const std::wstring start = BrowseStartFolder(m_edtFolder.GetWindowTextW());
    const std::wstring title = GetUiString(IDS_BROWSE_DEST_FOLDER);
    BROWSEINFOW info{};
    info.hwndOwner = m_hWnd;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
    UniqueItemIdList chosen(SHBrowseForFolderW(&info));
    if (!chosen)
        return;
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(chosen.Get(), path))
        return;
    theConfig.installFolder = path;
    m_edtFolder.SetWindowTextW(theConfig.installFolder);
}

bool CSettingPanel::ValidateInstallFolder()
{
    const std::wstring path = TrimInstallFolderText(m_edtFolder.GetWindowTextW());
    if (PrepareInstallFolder(path) == FolderCheck::Ready) {
        theConfig.installFolder = path;
        return true;
    }
    const std::wstring message = FormatWithText(GetUiString(IDS_ERR_CREATE_FOLDER_FAILED), path,
                                                IDS_ERR_CREATE_FOLDER_FAILED.defaultText);
    ShowRunMessage(m_hWnd, message.c_str(), theConfig.manifest.short_name.c_str(), MB_ICONWARNING | MB_OK, IDOK);
    m_edtFolder.SetWindowTextW(theConfig.installFolder);
    return false;
}

void CSettingPanel::OnInstall()
{
    if (!IsWindowVisible() || !m_bTermsAccepted)
        return;
    if (ValidateInstallFolder())
        GoToNextPanel();
}

BOOL CSettingPanel::CanClose()
{
    const int answer = ShowRunMessage(m_hWnd, GetUiString(IDS_MESSAGE_CANCELNOTICE).c_str(),
                                      theConfig.manifest.short_name.c_str(), MB_YESNO | MB_ICONEXCLAMATION, IDYES);
    if (answer != IDYES)
        return FALSE;
    Log(L"the user closed the wizard before installing");
    RecordExitCode(ExitCode::Cancelled);
    return TRUE;
}

} // namespace kelm
