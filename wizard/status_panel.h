#pragma once
// CStatusPanel: the page shown while the product is downloaded and installed.
// It owns the installation engine. Three seconds after it is first shown it
// checks for running copies of the product and starts the engine; then it
// polls the engine's status record once a second and shows the overall
// percentage, the phase text and the remaining time. At the end it moves the
// wizard to the success page, or starts the product, or ends the wizard.
//
// Threads: all of it runs on the UI thread; it reads the engine's worker only
// through g_installStatus (under its lock) and hands it pause, resume and
// cancel through the engine's own calls.

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/install_engine.h"
#include "skin/kelm_progress.h"
#include "skin/kelm_slider_show.h"
#include "skin/kelm_static.h"
#include "wizard/guide_panel.h"

namespace kelm {

struct InstallProgressSnapshot {
    int32_t phase = 0;          // InstallPhase
    float overallPercent = 0.0f; // 0 to 100
    std::wstring statusText;
    std::wstring timeText;
};

// The phase's text ("Downloading, please wait..." etc.); empty for an unknown phase.
std::wstring PhaseStatusText(int32_t phase);
// "01 mins 05 secs remaining..." in the current language.
std::wstring FormatTimeRemaining(uint32_t milliseconds);
// "37.5%".
std::wstring FormatPercent(float percent);

// The slide show of this page, which reloads its slides with the texts.
class CStatusSlideShow : public CKelmSliderShowCtrl {
public:
    void ClearSlides() { m_slides.clear(); }
};

class CStatusPanel : public CGuidePanel {
    KELM_DECLARE_DYNAMIC(CStatusPanel)
public:
    static constexpr UINT_PTR kStartTimer = 1125;
    static constexpr UINT_PTR kPollTimer = 1124;
    static constexpr UINT kStartDelay = 3000;
    static constexpr UINT kPollPeriod = 1000;

    CStatusPanel();
    ~CStatusPanel() override;

    void LayoutControls(const CRect& client) override;
    void OnActivatePanel() override;
    void UpdateTexts() override;
    BOOL CanClose() override;

    // One poll; TRUE while the run goes on.
    BOOL UpdateProgress();
    // Reads the status record (and, on the first poll, starts the clock).
    InstallProgressSnapshot GetProgressSnapshot();

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR timerId);
    LRESULT OnSlideShowClicked(WPARAM, LPARAM);

private:
    void StartInstallation();
    void FinishRun(int32_t phase);
    void EndWizard();

    CStatusSlideShow m_slideShow;
    CKelmStatic m_lblStatus;
    CKelmStatic m_lblTime;
    CKelmStatic m_lblPercent;
    CKelmProgress m_progress;
    CInstallEngine m_engine;
    int32_t m_bCancelRequested = 0;
    // Waiting for the start timer, asking about running programs, or the engine started.
    enum class Stage { Waiting, Checking, Running };
    Stage m_nStage = Stage::Waiting;

    KELM_DECLARE_MESSAGE_MAP()
};

} // namespace kelm
