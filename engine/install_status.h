#pragma once
// The process-wide progress record between the installation engine (writer) and
// the status panel (reader, once a second). Every access goes through one lock.

#include <cstdint>
#include <string>
#include <vector>

#include "framework/handles.h"

namespace kelm {

enum InstallPhase : int32_t {
    PhaseInit = 0,
    PhaseDownloading = 2,
    PhaseInstalling = 3,
    PhaseCancelling = 4,
    PhaseFinished = 5,
    PhaseInstallFailed = 6,
    PhaseCancelled = 7,
};

inline bool IsFinalPhase(int32_t phase)
{
    return phase == PhaseFinished || phase == PhaseInstallFailed || phase == PhaseCancelled;
}

struct InstallStatus {
    std::vector<int32_t> downloadShares; // percent per downloaded package, summing to 100
    std::vector<int32_t> installShares;  // percent per installed package, summing to 100
    InstallPhase phase = PhaseInit;
    int32_t index = 0;                   // package index within the phase; -1 once the run has ended
    int32_t percent = 0;                 // progress of that package, 0..100
    std::wstring text;                   // name of that package
    uint32_t startTick = 0;              // first poll of the status panel; the engine never touches it
};

extern InstallStatus g_installStatus;

// Held around every read or write of g_installStatus.
CriticalSection& InstallStatusLock();

// Stores the four values, except while the run is cancelling: then only the move
// to PhaseCancelled is taken and every other update is dropped. A run that has
// ended stays ended: PhaseCancelling never replaces a final phase.
void SetStatus(InstallPhase phase, int32_t index, int32_t percent, const std::wstring& text);

// The run installed the product: PhaseFinished, also over a cancellation that
// came too late to stop it (the product is there).
void FinishStatus();

InstallPhase CurrentInstallPhase();

// A consistent copy of the whole record.
InstallStatus ReadInstallStatus();

// Puts the record back to its start state (a new run in the same process).
void ResetInstallStatus();

// Called with (phase, index, percent) after every update that SetStatus
// stores, under the lock: for a watcher that must see every step, not only
// what a poll happens to find. Null: nobody is told.
using InstallStatusListener = void (*)(InstallPhase phase, int32_t index, int32_t percent);
void SetInstallStatusListener(InstallStatusListener listener) noexcept;

} // namespace kelm
