#pragma once
// The installation engine: one run on one worker task, from the package list
// through the version check, the downloads and the installations to the
// registration, reported through g_installStatus.
//
// Threads: Start, Pause, Resume, Cancel and WaitForWorker are the UI thread's;
// the run itself is the worker's (std::async), which joins it in the
// destructor. They share only the cancel and run events, the cancellation
// flag (atomic), the Windows Installer's reply flag (MsiExecution) and
// g_installStatus under its lock. The outcome is the worker's until it has ended.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "engine/install_status.h"
#include "engine/msi_execution.h"
#include "framework/handles.h"
#include "runlog/run_outcome.h"
#include "trust/trusted_file.h"

namespace kelm {

struct InstallPackage {
    std::wstring name;        // file name from the manifest; also the text shown for it
    std::wstring url;         // where it is downloaded from
    std::vector<std::wstring> mirrors; // the same file on other hosts, tried in turn when url cannot deliver it
    std::wstring localPath;   // full path of the local file
    std::wstring commandLine; // arguments of an EXE installer; empty for the main component
    int32_t needsDownload = 0;
    int32_t isMainComponent = 0; // the product itself, last in the list
    // What the manifest says the file must be: size in bytes and SHA-256.
    std::optional<uint64_t> expectedSize;
    std::wstring expectedSha256;
    // Why the manifest's size or hash cannot be used (empty when it can): the
    // package is then never downloaded or run.
    std::wstring expectationFault;
    // Where its download is written until it is complete and verified.
    std::wstring partialPath;
    // The signer the package must be signed by (the manifest's publisher); empty when none.
    std::wstring publisher;
};

// Probe of a prerequisite: non-zero when it is already on the machine.
using DependencyProbe = int32_t (*)();
struct DependencyProbeEntry {
    const char* name; // compared exactly with the dependency's file name in the ANSI code page
    DependencyProbe probe;
};
extern const DependencyProbeEntry g_dependencyProbes[2];

// True when the table knows the dependency and its probe finds it present.
bool IsDependencyPresent(const std::wstring& name);

// Every element but the last becomes element * 100 / sum; the last takes the rest of 100.
std::vector<int32_t> NormaliseShares(std::vector<int32_t> shares);

// How a run ends, as one value: its exit code, and what the user is still to
// be told at the end (empty when nothing, or when it was said already: the
// version check's question, the Windows Installer's own boxes). A cancelled run
// ends as Cancelled and shows nothing, whatever was set before.
struct RunOutcome {
    ExitCode code = ExitCode::InstallFailed;
    std::wstring message;
};

class CInstallEngine {
public:
    CInstallEngine();
    ~CInstallEngine();
    CInstallEngine(const CInstallEngine&) = delete;
    CInstallEngine& operator=(const CInstallEngine&) = delete;

    // Builds the package list, opens the internet session and starts the worker.
    // Called once per engine; returns at once.
    void Start();
    // Holds a transfer in progress / lets it go on. Running installers are not paused.
    void Pause();
    void Resume();
    // Asks the worker to end the run; returns at once. From here on the run is
    // cancelled (CancelRequested), whatever happens next.
    void Cancel();
    bool CancelRequested() const noexcept { return m_bCancelled != 0; }
    // Waits up to `milliseconds` for the worker; true when it has ended (or never started).
    bool WaitForWorker(DWORD milliseconds);

    HANDLE CancelEvent() const { return m_hCancelEvent.Get(); }
    HANDLE RunEvent() const { return m_hRunEvent.Get(); }

    void BuildPackageList();
    const std::vector<InstallPackage>& Packages() const { return m_packages; }

    // The Windows Installer's side of the package being installed.
    MsiExecution& Msi() { return m_msi; }
    // Begins it for the next package, at this run's install index and cancellation.
    void BeginMsiExecution(const std::wstring& packageName, HWND owner, const std::wstring& caption);

    const RunOutcome& Outcome() const { return m_outcome; }
    const std::wstring& HomePageUrl() const { return m_msi.HomePageUrl(); }

private:
    void RunSequence();
    bool CheckVersion();
    bool DownloadPackages();
    bool DownloadPackage(size_t index, int32_t downloadIndex);
    bool InstallPackages();
    bool InstallOnePackage(const InstallPackage& package, const TrustedFile& file);
    TrustedFile AdmitLocalPackage(const InstallPackage& package);
    // The run will end with code and, unless cancelled, tell the user message.
    void Fail(ExitCode code, std::wstring message = {});
    void EndRun(InstallPhase phase);
    void TakeInstalledLocation();

    std::vector<InstallPackage> m_packages;
    // Per package: its admitted file, held open for reading only (nobody can
    // change or replace it) from its check until its installation has ended.
    std::vector<TrustedFile> m_admittedFiles;
    int32_t m_nInstallIndex = 0;
    MsiExecution m_msi;

    std::future<void> m_worker;
    UniqueHandle m_hCancelEvent; // manual reset; signalled = cancel
    UniqueHandle m_hRunEvent;    // manual reset; non-signalled = paused
    // The one record of a cancellation: set first by Cancel, read by every
    // step of the run (the cancel event tells the transfers and running
    // packages, the Windows Installer's reply flag its installation).
    std::atomic<int32_t> m_bCancelled{0};
    RunOutcome m_outcome;
    bool m_bRestartNeeded = false; // a package asked for a restart (3010)
};

} // namespace kelm
