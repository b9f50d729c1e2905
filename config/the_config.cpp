#include "config/installer_config.h"

namespace kelm {

// Built during static initialisation with the defaults of its fields; lives for
// the whole process.
InstallerConfig theConfig;

} // namespace kelm
