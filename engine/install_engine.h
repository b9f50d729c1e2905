#pragma once
// The installation engine: one run on one worker task, from the package list
// through the version check, the downloads and the installations to the
// registration, reported through g_installStatus.

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

// Why a run failed, when the failure itself decides what the user is told
// (the values are the run's recorded failure codes).
enum class EngineFailure : int32_t {
    None = 0,
    NotFetched = 4,              // the descriptor or a package could not be fetched: "cannot connect"
    CancelledInInstallerBox = 5, // the user answered Cancel in a box of the Windows Installer
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
    // Asks the worker to end the run; returns at once.
    void Cancel();
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

    EngineFailure Failure() const { return m_nFailure; }
    const std::wstring& HomePageUrl() const { return m_msi.HomePageUrl(); }

private:
    void RunSequence();
    bool CheckVersion();
    bool DownloadPackages();
    bool DownloadPackage(size_t index, int32_t downloadIndex);
    bool InstallPackages();
    bool InstallOnePackage(const InstallPackage& package, const TrustedFile& file);
    TrustedFile AdmitLocalPackage(const InstallPackage& package);
    bool IsCancelling() const;
    void EndRun(InstallPhase phase, ExitCode code);

    std::vector<InstallPackage> m_packages;
    // Per package: its admitted file, held open for reading only (nobody can
    // change or replace it) from its check until its installation has ended.
    std::vector<TrustedFile> m_admittedFiles;
    int32_t m_nInstallIndex = 0;
    MsiExecution m_msi;

    std::future<void> m_worker;
    UniqueHandle m_hCancelEvent; // manual reset; signalled = cancel
    UniqueHandle m_hRunEvent;    // manual reset; non-signalled = paused
    std::atomic<int32_t> m_bCancelled{0};
    EngineFailure m_nFailure = EngineFailure::None;
    ExitCode m_exitCode = ExitCode::InstallFailed; // what the run's end records
    bool m_bRestartNeeded = false;                 // a package asked for a restart (3010)
};

} // namespace kelm
