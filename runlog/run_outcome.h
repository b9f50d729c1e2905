#pragma once
// The outcome of a run as the process's exit code, the same in interactive and
// silent runs, so that a deployment tool can tell what happened. The Windows
// Installer's numbers where one fits; the installer's own above them are listed
// in docs/command-line.md.

#include <cstdint>

namespace kelm {

enum class ExitCode : int32_t {
    Installed = 0,                 // installed, or already up to date
    ServerUnreachable = 20,        // the descriptor or a package could not be fetched
    BadManifest = 21,              // manifest missing or faulty, work folders not creatable
    ClientTooOld = 22,             // this client may not install; a newer one was started if it could be
    SecondCopy = 23,               // another copy runs; its window was brought to the front
    UntrustedWorkFolder = 24,      // somebody but the administrators could change the work folder
    DiskFull = 112,                // the volume of the downloads has not enough free space
    Cancelled = 1602,              // the user cancelled (also in the running-application check)
    InstallFailed = 1603,          // an installation failed
    AnotherInstallRunning = 1618,  // the Windows Installer is busy with another installation
    OtherVersionInstalled = 1638,  // another version of the product is installed
    RestartNeeded = 3010,          // installed; a restart completes it
};

// Records the run's outcome; the last one recorded is the exit code. Until
// anything is recorded the outcome is InstallFailed: no path ends as success
// without saying so.
void RecordExitCode(ExitCode code) noexcept;
ExitCode RecordedExitCode() noexcept;
// A few words for the log ("installed", "cancelled by the user", ...).
const wchar_t* DescribeExitCode(ExitCode code) noexcept;

// The silent run ("/s"): message boxes are written to the log instead (run_message.h).
void SetSilentRun(bool silent) noexcept;
bool IsSilentRun() noexcept;

} // namespace kelm
