#pragma once
// EXE installers: started with the manifest's arguments and waited for.

#include "engine/install_engine.h"

namespace kelm {

struct ExeRunResult {
    bool started = false;  // the process could be created
    DWORD exitCode = 0;    // its exit code, once it has ended
};

// Starts the installer and waits for its end.
ExeRunResult RunExePackage(const InstallPackage& package);

} // namespace kelm
