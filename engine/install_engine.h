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
#include "framework/handles.h"
#include "runlog/run_outcome.h"

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

    // The Windows Installer side of one MSI package (see msi_package.cpp).
    // Resets the per-package handler state; boxes of the handler go to `owner` with `caption`.
    void BeginMsiPackage(const std::wstring& packageName, HWND owner, const std::wstring& caption);
    int HandleInstallerMessage(UINT messageType, const wchar_t* message);
    int ParseProgressMessage(const std::wstring& text);
    void AdvanceProgress();
    void ParseLogLine(const std::wstring& line);

    EngineFailure Failure() const { return m_nFailure; }
    int32_t ProgressMessageCount() const { return m_nProgressMessages; }
    const std::wstring& HomePageUrl() const { return m_strHomePageUrl; }
    int32_t MaxPercent() const { return m_nMaxPercent; }
    void SetInstallIndex(int32_t index) { m_nInstallIndex = index; }

private:
    void RunSequence();
    bool CheckVersion();
    bool DownloadPackages();
    bool DownloadPackage(size_t index, int32_t downloadIndex);
    bool InstallPackages();
    bool InstallOnePackage(const InstallPackage& package);
    bool IsCancelling() const;
    void EndRun(InstallPhase phase, ExitCode code);

    std::vector<InstallPackage> m_packages;
    // Per package: its verified download, held open for reading only (nobody
    // can change or replace it) until its installation has ended.
    std::vector<UniqueFile> m_verifiedFiles;
    int32_t m_nInstallIndex = 0;

    // Windows Installer handler state.
    int32_t m_nMaxPercent = 0;     // highest percent reported for this package; never goes down
    int32_t m_nBasePercent = 0;    // m_nMaxPercent when the current progress bar began
    int32_t m_bProgressActive = 0; // a reset message has been seen
    int32_t m_nTotalTicks = 0;
    int32_t m_bForward = 0;        // 0 while the installer rolls back
    int32_t m_nPosition = 0;
    int32_t m_bFirstMessage = 0;
    int32_t m_nProgressType = 0;
    int32_t m_nProgressField2 = 0;
    int32_t m_nProgressField3 = 0;
    int32_t m_nProgressField4 = 0;
    std::atomic<int32_t> m_bReplyCancel{0}; // set by Cancel on the UI thread, read by the handler
    std::wstring m_strCurrentPackage;
    int32_t m_nProgressMessages = 0;
    HWND m_hMessageOwner = nullptr;
    std::wstring m_strMessageCaption;

    std::future<void> m_worker;
    UniqueHandle m_hCancelEvent; // manual reset; signalled = cancel
    UniqueHandle m_hRunEvent;    // manual reset; non-signalled = paused
    std::atomic<int32_t> m_bCancelled{0};
    std::wstring m_strHomePageUrl;
    EngineFailure m_nFailure = EngineFailure::None;
    ExitCode m_exitCode = ExitCode::InstallFailed; // what the run's end records
    bool m_bRestartNeeded = false;                 // a package asked for a restart (3010)
};

// The INSTALLUI_HANDLERW given to the Windows Installer; context is the engine.
int WINAPI InstallerMessageHandler(LPVOID context, UINT messageType, LPCWSTR message);

} // namespace kelm
