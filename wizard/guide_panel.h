#pragma once
// CGuidePanel: the common base of the wizard's pages. A page is a borderless
// child dialog covering the main window's client area. The base paints the
// dark background with the corner logo (off-screen, in one copy), hands size
// changes to LayoutControls, ignores Enter and Escape, and declares the six
// operations through which the main window and the pages talk.

#include <windows.h>

#include <string>

#include "framework/dialog.h"
#include "framework/geometry.h"

namespace kelm {

class CInstallGuide;

enum PanelIndex : int32_t {
    PANEL_SETTINGS = 0,
    PANEL_STATUS = 1,
    PANEL_SUCCESS = 2,
};

class CGuidePanel : public CDialog {
    KELM_DECLARE_DYNAMIC(CGuidePanel)
public:
    explicit CGuidePanel(UINT templateId) noexcept : CDialog(templateId) {}
    ~CGuidePanel() override;

    // Draws on the off-screen background after the base background.
    virtual void OnDrawBackground(HDC dc);
    // Places the page's controls in the client rectangle.
    virtual void LayoutControls(const CRect& client);
    // The page's size; the main window fits itself to it.
    virtual CSize GetPanelSize();
    // Just before the main window shows the page.
    virtual void OnActivatePanel();
    // Reloads the localised texts.
    virtual void UpdateTexts();
    // Whether the wizard may close while this page is shown.
    virtual BOOL CanClose();
    // The control that has the focus when the page is shown; the page itself
    // (nothing that acts on Enter) by default.
    virtual HWND DefaultFocus();
    // Notes the first key of the run (focus cues show from then on), then the
    // dialog keyboard interface.
    BOOL PreTranslateMessage(MSG* msg) override;

    // Moves the wizard to the page after the shown one, when there is one.
    void GoToNextPanel();
    // Width (and at least the height) of `text` in `font`; `size` stays as it is
    // when nothing measurable comes back.
    void MeasureText(const std::wstring& text, HFONT font, CSize& size);

    // The size every page has by default: 660 x 446 at 96 DPI, scaled.
    static CSize DefaultPanelSize();
    // The screen's scale factors.
    static double ScaleX();
    static double ScaleY();
    // Opens `address` in the browser when it is a web address (IsWebAddress);
    // anything else is left alone. True when it went to the shell.
    static bool OpenWebPage(const std::wstring& address);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

    // The wizard window this page lives in, or null.
    CInstallGuide* Guide() const;
    // Drops the caption styles the page's template has.
    void RemoveCaptionStyles();

    BOOL OnEraseBkgnd(HDC dc);
    void OnSize(UINT type, int cx, int cy);

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
