#include "wizard/guide_panel.h"

#include "config/shell_launch.h"
#include "framework/handles.h"
#include "runlog/run_log.h"
#include "skin/dpi.h"
#include "skin/focus_cue.h"
#include "skin/image_loader.h"
#include "skin/palette.h"
#include "wizard/install_guide.h"
#include "wizard/wizard_rules.h"

namespace kelm {

namespace {
constexpr int kCornerImageFirstId = 129; // 129 to 132 by DPI

// Computed during static initialisation, as every page's size derives from it.
const CSize g_defaultPanelSize = kelm::DefaultPanelSize(DpiScale(ScreenDpiX()), DpiScale(ScreenDpiY()));
} // namespace

KELM_IMPLEMENT_DYNAMIC(CGuidePanel, CDialog)

KELM_BEGIN_MESSAGE_MAP(CGuidePanel, CDialog)
    KELM_ON_WM_ERASEBKGND()
    KELM_ON_WM_SIZE()
KELM_END_MESSAGE_MAP()

CGuidePanel::~CGuidePanel() = default;

CSize CGuidePanel::DefaultPanelSize() { return g_defaultPanelSize; }
double CGuidePanel::ScaleX() { return DpiScale(ScreenDpiX()); }
double CGuidePanel::ScaleY() { return DpiScale(ScreenDpiY()); }

bool CGuidePanel::OpenWebPage(const std::wstring& address)
{
    if (!IsWebAddress(address))
        return false;
    // Through the desktop shell: a browser started by this elevated process
    // would run with administrator rights.
    ComInitialization com;
    if (!LaunchUnelevated(address))
        Log(L"the web page ", address, L" could not be opened through the desktop shell");
    return true;
}

void CGuidePanel::OnDrawBackground(HDC) {}
void CGuidePanel::LayoutControls(const CRect&) {}
CSize CGuidePanel::GetPanelSize() { return g_defaultPanelSize; }
void CGuidePanel::OnActivatePanel() {}
void CGuidePanel::UpdateTexts() {}
BOOL CGuidePanel::PreTranslateMessage(MSG* msg)
{
    NoteKeyboardUse(*msg);
    return CDialog::PreTranslateMessage(msg);
}

HWND CGuidePanel::DefaultFocus()
{
    return m_hWnd;
}

BOOL CGuidePanel::CanClose() { return TRUE; }

void CGuidePanel::RemoveCaptionStyles()
{
    ModifyStyle(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 0);
    ModifyStyleEx(WS_EX_DLGMODALFRAME, 0);
    // The background is painted whole in the erase step; the controls must not be painted over.
    ModifyStyle(0, WS_CLIPCHILDREN);
}

BOOL CGuidePanel::OnInitDialog()
{
    CDialog::OnInitDialog();
    RemoveCaptionStyles();
    return TRUE;
}

CInstallGuide* CGuidePanel::Guide() const
{
    return DynamicDowncast<CInstallGuide>(GetParent());
}

void CGuidePanel::GoToNextPanel()
{
    CInstallGuide* guide = Guide();
    if (guide == nullptr)
        return;
    const int32_t next = guide->m_nCurrentPanel + 1;
    if (guide->m_panels.count(next) != 0)
        guide->ShowPanel(next);
}

void CGuidePanel::MeasureText(const std::wstring& text, HFONT font, CSize& size)
{
    WindowDc dc(m_hWnd);
    if (!dc)
        return;
    SIZE measured{0, 0};
    {
        SelectedObject selected(dc.Get(), font);
        if (!GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &measured))
            return;
    }
    if (measured.cx > 0) {
        size.cx = measured.cx;
        size.cy = std::max(size.cy, measured.cy);
    }
}

BOOL CGuidePanel::OnEraseBkgnd(HDC dc)
{
    const CRect client = GetClientRect();
    UniqueMemoryDc memory(CreateCompatibleDC(dc));
    UniqueBitmap bitmap(CreateCompatibleBitmap(dc, std::max(1L, client.Width()), std::max(1L, client.Height())));
    if (!memory || !bitmap)
        return TRUE;
    {
        SelectedObject selectedBitmap(memory.Get(), bitmap.Get());
        UniqueBrush background(CreateSolidBrush(SkinColor(SkinSlot::WindowBackColor)));
        FillRect(memory.Get(), &client, background.Get());

        if (auto image = LoadResourceImage(DpiImageId(kCornerImageFirstId)); image && image->Bitmap()) {
            UniqueMemoryDc imageDc(CreateCompatibleDC(dc));
            SelectedObject selectedImage(imageDc.Get(), image->Bitmap());
            const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            AlphaBlend(memory.Get(), client.right - image->Width(), client.top, image->Width(), image->Height(),
                       imageDc.Get(), 0, 0, image->Width(), image->Height(), blend);
        }
        OnDrawBackground(memory.Get());
        BitBlt(dc, 0, 0, client.Width(), client.Height(), memory.Get(), 0, 0, SRCCOPY);
    }
    return TRUE;
}

void CGuidePanel::OnSize(UINT type, int cx, int cy)
{
    Default(WM_SIZE, type, MAKELPARAM(cx, cy));
    LayoutControls(GetClientRect());
}

} // namespace kelm
