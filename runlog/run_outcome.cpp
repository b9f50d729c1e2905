#include "runlog/run_outcome.h"

#include <atomic>

namespace kelm {

namespace {

std::atomic<int32_t> g_exitCode{static_cast<int32_t>(ExitCode::InstallFailed)};
std::atomic<bool> g_silent{false};

} // namespace

void RecordExitCode(ExitCode code) noexcept
{
    g_exitCode.store(static_cast<int32_t>(code));
}

ExitCode RecordedExitCode() noexcept
{
    return static_cast<ExitCode>(g_exitCode.load());
}

const wchar_t* DescribeExitCode(ExitCode code) noexcept
{
    switch (code) {
    case ExitCode::Installed:
        return L"installed (or already up to date)";
    case ExitCode::ServerUnreachable:
        return L"the download server could not be reached or a download failed";
    case ExitCode::BadManifest:
        return L"the installer manifest or the work folders are not usable";
    case ExitCode::ClientTooOld:
        return L"this installer client is too old";
    case ExitCode::SecondCopy:
        return L"another copy of the installer is running";
    case ExitCode::UntrustedWorkFolder:
        return L"the work folder could be changed by somebody who is not an administrator";
    case ExitCode::DiskFull:
        return L"not enough free disk space for the downloads";
    case ExitCode::Cancelled:
        return L"cancelled by the user";
    case ExitCode::InstallFailed:
        return L"an installation failed";
    case ExitCode::AnotherInstallRunning:
        return L"another installation is in progress";
    case ExitCode::OtherVersionInstalled:
        return L"another version of the product is installed";
    case ExitCode::RestartNeeded:
        return L"installed; a restart is needed";
    }
    return L"unknown outcome";
}

void SetSilentRun(bool silent) noexcept
{
    g_silent.store(silent);
}

bool IsSilentRun() noexcept
{
    return g_silent.load();
}

} // namespace kelm
