#pragma once
// EXE installers: started with the manifest's arguments and waited for.

#include "engine/install_engine.h"

namespace kelm {

struct ExeRunResult {
    bool started = false;      // the process could be created
    bool leftRunning = false;  // cancelled, and still running after the grace time
    DWORD exitCode = 0;        // its exit code, once it has ended
};

// How long a cancelled run still waits for an EXE installer to end by itself
// (milliseconds). An installer is never killed half-way: after this it is left
// running and the run ends without it.
inline constexpr DWORD kCancelledExeGrace = 3000;

// Starts the installer and waits for its end, or, once cancelEvent (may be
// null) is signalled, for at most kCancelledExeGrace more.
ExeRunResult RunExePackage(const InstallPackage& package, HANDLE cancelEvent);

} // namespace kelm
