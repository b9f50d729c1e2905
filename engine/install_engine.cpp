#include "engine/install_engine.h"

#include <numeric>

namespace kelm {

namespace {

int32_t NotPresent()
{
    return 0;
}

} // namespace

// Both prerequisites are always installed: their own installers skip what is there.
const DependencyProbeEntry g_dependencyProbes[2] = {
    {"webview2.exe", NotPresent},
    {"vc_redist.exe", NotPresent},
};

bool IsDependencyPresent(const std::wstring& name)
{
    const int length = ::WideCharToMultiByte(CP_THREAD_ACP, 0, name.c_str(), static_cast<int>(name.size()), nullptr,
                                             0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        ::WideCharToMultiByte(CP_THREAD_ACP, 0, name.c_str(), static_cast<int>(name.size()), narrow.data(), length,
                              nullptr, nullptr);
    for (const DependencyProbeEntry& entry : g_dependencyProbes) {
        if (narrow == entry.name)
            return entry.probe() != 0;
    }
    return false;
}

std::vector<int32_t> NormaliseShares(std::vector<int32_t> shares)
{
    if (shares.empty())
        return shares;
    const int64_t sum = std::accumulate(shares.begin(), shares.end(), int64_t{0});
    if (sum <= 0)
        return shares;
    int32_t others = 0;
    for (size_t i = 0; i + 1 < shares.size(); ++i) {
        shares[i] = static_cast<int32_t>(shares[i] * int64_t{100} / sum);
        others += shares[i];
    }
    shares.back() = 100 - others;
    return shares;
}

CInstallEngine::CInstallEngine()
    : m_hCancelEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_hRunEvent(::CreateEventW(nullptr, TRUE, TRUE, nullptr))
{
}

CInstallEngine::~CInstallEngine()
{
    // The worker uses this object until its last step.
    if (m_worker.valid())
        m_worker.wait();
}

void CInstallEngine::Pause()
{
    if (m_hRunEvent)
        ::ResetEvent(m_hRunEvent.Get());
}

void CInstallEngine::Resume()
{
    if (m_hRunEvent)
        ::SetEvent(m_hRunEvent.Get());
}

void CInstallEngine::Cancel()
{
    // Before anything else: whoever sees the phase or the event sees the flag too.
    m_bCancelled = 1;
    if (m_hCancelEvent && m_hRunEvent) {
        SetStatus(PhaseCancelling, -1, 0, L"");
        ::SetEvent(m_hCancelEvent.Get());
        // A paused transfer wakes up and sees the cancellation.
        ::SetEvent(m_hRunEvent.Get());
    } else {
        SetStatus(PhaseCancelled, -1, 0, L"");
    }
    // After m_bCancelled: a package that starts now resets the reply flag and
    // then reads m_bCancelled (MsiExecution::Begin), so the request is never lost.
    m_msi.Cancel();
}

void CInstallEngine::BeginMsiExecution(const std::wstring& packageName, HWND owner, const std::wstring& caption)
{
    m_msi.Begin(packageName, m_nInstallIndex, owner, caption, m_bCancelled);
}

bool CInstallEngine::WaitForWorker(DWORD milliseconds)
{
    if (!m_worker.valid())
        return true;
    return m_worker.wait_for(std::chrono::milliseconds(milliseconds)) == std::future_status::ready;
}

} // namespace kelm
