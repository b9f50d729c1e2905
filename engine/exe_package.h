#pragma once
// EXE installers: started with the manifest's arguments and waited for.

#include "engine/install_engine.h"
#include "trust/trusted_file.h"

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

// Starts the admitted installer `file` with the package's arguments and waits
// for its end, or, once cancelEvent (may be null) is signalled, for at most
// kCancelledExeGrace more. A file that holds nothing is not started.
ExeRunResult RunExePackage(const InstallPackage& package, const TrustedFile& file, HANDLE cancelEvent);

} // namespace kelm
