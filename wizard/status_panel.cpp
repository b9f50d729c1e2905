#include "wizard/status_panel.h"

#include <shlwapi.h>

#include <cstdio>

#include "config/installer_config.h"
#include "config/ui_strings.h"
#include "engine/install_status.h"
#include "engine/running_apps.h"
#include "config/shell_launch.h"
#include "framework/handles.h"
#include "skin/fonts.h"
#include "skin/image_loader.h"
#include "skin/palette.h"
#include "wizard/install_guide.h"
#include "res/resource.h"
#include "runlog/run_log.h"
#include "runlog/run_message.h"
#include "runlog/run_outcome.h"
#include "wizard/wizard_rules.h"

namespace kelm {

namespace {
constexpr UINT kSlideShowId = 170;
constexpr UINT kProgressId = 105;
constexpr UINT kStatusLabelId = 122;
constexpr UINT kPercentLabelId = 123;
constexpr UINT kTimeLabelId = 173;
constexpr int kProgressRange = 1000;
constexpr UINT kWordBreak = DT_WORDBREAK;            // 0x10
constexpr UINT kWordBreakRight = DT_WORDBREAK | DT_RIGHT; // 0x12

void StyleLabel(CKelmStatic& label, const std::wstring& text, UINT format)
{
    label.SetText(text);
    label.SetStyle(NormalFont(), SkinColor(SkinSlot::CaptionTextColor), SkinColor(SkinSlot::WindowBackColor), format);
}

} // namespace

std::wstring PhaseStatusText(int32_t phase)
{
    switch (phase) {
    case PhaseInit:
    case 1:
        return GetUiString(IDS_STATUS_INIT);
    case PhaseDownloading:
        return GetUiString(IDS_STATUS_DOWNLOADING);
    case PhaseInstalling:
        return GetUiString(IDS_STATUS_INSTALLING);
    case PhaseCancelling:
        return GetUiString(IDS_STATUS_CANCELLING);
    case PhaseFinished:
        return GetUiString(IDS_STATUS_FINISHED);
    case PhaseInstallFailed:
        return GetUiString(IDS_STATUS_INSTALL_FAILED);
    case PhaseCancelled:
        return GetUiString(IDS_STATUS_CANCELLED);
    default:
        return {};
    }
}

std::wstring FormatTimeRemaining(uint32_t milliseconds)
{
    const TimeFormats formats{GetUiString(IDS_TIME_REMAINING_HOURS), GetUiString(IDS_TIME_REMAINING_MINS),
                              GetUiString(IDS_TIME_REMAINING_SECS)};
    return FormatTimeRemainingWith(milliseconds, formats);
}

std::wstring FormatPercent(float percent)
{
    wchar_t text[32];
    swprintf(text, 32, L"%.1f%%", static_cast<double>(percent));
    return text;
}

KELM_IMPLEMENT_DYNAMIC(CStatusPanel, CGuidePanel)

KELM_BEGIN_MESSAGE_MAP(CStatusPanel, CGuidePanel)
    KELM_ON_WM_TIMER()
    KELM_ON_MESSAGE(WM_SLIDESHOW_CLICKED, OnSlideShowClicked)
KELM_END_MESSAGE_MAP()

CStatusPanel::CStatusPanel() : CGuidePanel(IDD_STATUS_PANEL) {}

CStatusPanel::~CStatusPanel() = default;

void CStatusPanel::DoDataExchange(CDataExchange* exchange)
{
    CGuidePanel::DoDataExchange(exchange);
    DDX_Control(exchange, kStatusLabelId, m_lblStatus);
    DDX_Control(exchange, kTimeLabelId, m_lblTime);
    DDX_Control(exchange, kPercentLabelId, m_lblPercent);
}

BOOL CStatusPanel::OnInitDialog()
{
    CDialog::OnInitDialog();
    RemoveCaptionStyles();

    const CRect empty;
    m_slideShow.Create(WS_CHILD | WS_TABSTOP, empty, this, kSlideShowId);
    m_slideShow.SetBackColor(SkinColor(SkinSlot::WindowBackColor));
    m_slideShow.SetWindowTextW(GetLink(IDS_RLINK_SLIDE_SHOW));
    m_slideShow.ShowWindow(SW_SHOW);

    StyleLabel(m_lblStatus, GetUiString(IDS_STATUS_INIT), kWordBreak);
    StyleLabel(m_lblTime, GetUiString(IDS_CALC_TIME_REMAINING), kWordBreak);
    StyleLabel(m_lblPercent, L"", kWordBreakRight);

    m_progress.Create(WS_CHILD | WS_TABSTOP, empty, this, kProgressId);
    m_progress.SetPosition(0);
    m_progress.SetAccessibleName(m_lblStatus.Text());
    m_progress.SetRange(kProgressRange);
    m_progress.SetColors(SkinColor(SkinSlot::WindowBackColor), SkinColor(SkinSlot::ProgressTrackColor),
                         SkinColor(SkinSlot::ProgressBarColor));
    m_progress.ShowWindow(SW_SHOW);
    return FALSE;
}

void CStatusPanel::UpdateTexts()
{
    m_lblStatus.SetText(GetUiString(IDS_STATUS_INIT));
    m_lblTime.SetText(GetUiString(IDS_CALC_TIME_REMAINING));

    m_slideShow.ClearSlides();
    for (const std::wstring& path : GetSlideImages()) {
        if (std::optional<FileImage> image = LoadFileImage(path); image && image->bitmap)
            m_slideShow.AddSlide(std::move(*image));
    }
}

void CStatusPanel::LayoutControls(const CRect& client)
{
    const StatusLayout layout = ComputeStatusLayout(client, ScaleX(), ScaleY());
    auto place = [](CWnd& control, const CRect& rect) {
        if (control.GetSafeHwnd() != nullptr)
            control.MoveWindow(rect, TRUE);
    };
    place(m_slideShow, layout.slideShow);
    place(m_lblStatus, layout.statusLabel);
    place(m_lblTime, layout.timeLabel);
    place(m_lblPercent, layout.percentLabel);
    m_progress.SetBarSize(SIZE{layout.progressBar.Width(), layout.progressBar.Height()});
    place(m_progress, layout.progressBar);
}

void CStatusPanel::OnActivatePanel()
{
    UpdateTexts();
    if (m_nStage == Stage::Waiting)
        SetTimer(kStartTimer, kStartDelay);
}

void CStatusPanel::OnTimer(UINT_PTR timerId)
{
    if (timerId == kStartTimer) {
        KillTimer(kStartTimer);
        StartInstallation();
    } else if (timerId == kPollTimer) {
        KillTimer(kPollTimer);
        if (UpdateProgress())
            SetTimer(kPollTimer, kPollPeriod);
    } else {
        Default(WM_TIMER, timerId);
    }
}

void CStatusPanel::StartInstallation()
{
    if (m_nStage != Stage::Waiting)
        return;
    m_nStage = Stage::Checking;
    if (!CheckRunningApplications(theConfig.manifest.full_name, m_hWnd)) {
        m_nStage = Stage::Waiting;
        EndWizard();
        return;
    }
    m_nStage = Stage::Running;
    m_engine.Start();
    SetTimer(kPollTimer, kPollPeriod);
}

InstallProgressSnapshot CStatusPanel::GetProgressSnapshot()
{
    InstallProgressSnapshot snapshot;
    uint32_t startTick = 0;
    InstallStatus status;
    {
        CriticalSectionLock lock(InstallStatusLock());
        status = g_installStatus;
        startTick = g_installStatus.startTick;
    }
    snapshot.phase = status.phase;
    snapshot.overallPercent =
        OverallPercent(status.phase, status.downloadShares, status.installShares, status.index, status.percent);
    snapshot.statusText = PhaseStatusText(status.phase);

    const float phaseProgress = PhaseProgress(status.phase, !status.downloadShares.empty(), snapshot.overallPercent);
    const uint32_t firstTick = startTick;
    const int64_t remaining = EstimateRemaining(startTick, GetTickCount(), phaseProgress);
    if (firstTick == 0) {
        CriticalSectionLock lock(InstallStatusLock());
        g_installStatus.startTick = startTick;
    }
    snapshot.timeText = remaining < 0 ? GetUiString(IDS_CALC_TIME_REMAINING)
                                      : FormatTimeRemaining(static_cast<uint32_t>(remaining));
    return snapshot;
}

BOOL CStatusPanel::UpdateProgress()
{
    const InstallProgressSnapshot snapshot = GetProgressSnapshot();
    m_progress.SetPosition(static_cast<int>(snapshot.overallPercent * 10.0f));
    m_progress.SetAccessibleName(snapshot.statusText);
    m_lblPercent.SetText(FormatPercent(snapshot.overallPercent));
    m_lblStatus.SetText(snapshot.statusText);
    m_lblTime.SetText(snapshot.timeText);

    if (!IsFinalPhase(snapshot.phase))
        return TRUE;
    FinishRun(snapshot.phase);
    return FALSE;
}

void CStatusPanel::FinishRun(int32_t phase)
{
    CInstallGuide* guide = Guide();
    const WizardRunFlags flags = guide != nullptr ? guide->RunFlags() : WizardRunFlags{};
    if (phase != PhaseFinished) {
        EndWizard(); // the engine has told the user why
        return;
    }
    if (m_bCancelRequested) {
        // Installed before the cancellation could stop it: the product is there,
        // and the user asked for the wizard to go.
        EndWizard();
        return;
    }
    if (flags.launchAfterInstall) {
        const std::wstring program = GetProductExePath();
        if (PathFileExistsW(program.c_str())) {
            ComInitialization com;
            LaunchUnelevated(program);
        }
        EndWizard();
    } else if (!flags.silent) {
        GoToNextPanel();
    } else {
        EndWizard();
    }
}

void CStatusPanel::EndWizard()
{
    if (CInstallGuide* guide = Guide())
        guide->EndWizard();
}

BOOL CStatusPanel::CanClose()
{
    // Cancelling: the run reaches its final phase within seconds by itself (a
    // transfer walks away from a silent server at once, an EXE installer is
    // waited for kCancelledExeGrace at most, a Windows Installer package rolls
    // back on the Cancel answer), and the wizard ends then.
    if (m_bCancelRequested)
        return FALSE;
    if (m_nStage == Stage::Waiting) {
        // Nothing runs yet: closing simply ends the wizard before the engine starts.
        KillTimer(kStartTimer);
        Log(L"the user closed the wizard before the installation started");
        RecordExitCode(ExitCode::Cancelled);
        return TRUE;
    }
    if (m_nStage == Stage::Checking)
        return FALSE; // the running-application question is open and offers Cancel itself
    auto currentPhase = [] { return ReadInstallStatus().phase; };
    if (IsFinalPhase(currentPhase()))
        return TRUE;

    ResetEvent(m_engine.RunEvent());
    // No poll while the question is open: the end of the run must not move the
    // wizard on (success page, product start, close) underneath it.
    KillTimer(kPollTimer);
    const int answer = ShowRunMessage(m_hWnd, GetUiString(IDS_MESSAGE_CANCELNOTICE).c_str(),
                                      theConfig.manifest.short_name.c_str(), MB_YESNO | MB_ICONEXCLAMATION, IDNO);
    if (m_nStage == Stage::Running)
        SetTimer(kPollTimer, kPollPeriod);
    if (answer == IDYES) {
        if (IsFinalPhase(currentPhase()))
            return TRUE;
        m_bCancelRequested = 1;
        m_engine.Cancel();
        // Say so at once: the worker may wind down before the next poll would show it.
        m_lblStatus.SetText(GetUiString(IDS_STATUS_CANCELLING));
        return FALSE;
    }
    SetEvent(m_engine.RunEvent());
    return FALSE;
}

LRESULT CStatusPanel::OnSlideShowClicked(WPARAM, LPARAM)
{
    OpenWebPage(GetLink(IDS_RLINK_SLIDE_SHOW));
    return 0;
}

} // namespace kelm
