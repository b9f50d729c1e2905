#pragma once
// EXE installers: started with the manifest's arguments and waited for.

#include "engine/install_engine.h"

namespace kelm {

// True when the process could be started; its exit code is not examined.
bool RunExePackage(const InstallPackage& package);

} // namespace kelm
