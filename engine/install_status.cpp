#include "engine/install_status.h"

#include <atomic>

namespace kelm {

InstallStatus g_installStatus;

namespace {
std::atomic<InstallStatusListener> g_listener{nullptr};
} // namespace

CriticalSection& InstallStatusLock()
{
    // Built on first use, so it exists whenever any static object reaches it.
    static CriticalSection lock;
    return lock;
}

void SetStatus(InstallPhase phase, int32_t index, int32_t percent, const std::wstring& text)
{
    CriticalSectionLock hold(InstallStatusLock());
    if (g_installStatus.phase == PhaseCancelling && phase != PhaseCancelled)
        return;
    // A cancellation that comes after the worker's last word would leave the
    // panel waiting for a final phase that never comes.
    if (phase == PhaseCancelling && IsFinalPhase(g_installStatus.phase))
        return;
    g_installStatus.phase = phase;
    g_installStatus.index = index;
    g_installStatus.percent = percent;
    g_installStatus.text = text;
    if (const InstallStatusListener listener = g_listener.load())
        listener(phase, index, percent);
}

void SetInstallStatusListener(InstallStatusListener listener) noexcept
{
    g_listener = listener;
}

void FinishStatus()
{
    CriticalSectionLock hold(InstallStatusLock());
    g_installStatus.phase = PhaseFinished;
    g_installStatus.index = -1;
    g_installStatus.percent = 0;
    g_installStatus.text.clear();
}

InstallPhase CurrentInstallPhase()
{
    CriticalSectionLock hold(InstallStatusLock());
    return g_installStatus.phase;
}

InstallStatus ReadInstallStatus()
{
    CriticalSectionLock hold(InstallStatusLock());
    return g_installStatus;
}

void ResetInstallStatus()
{
    CriticalSectionLock hold(InstallStatusLock());
    g_installStatus = InstallStatus{};
}

} // namespace kelm
