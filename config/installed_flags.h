#pragma once
// The application's two installed-product flags (32-bit 0/1 values). The
// application object owns them; product detection writes them once during
// start-up and the version decision, the client check and the engine read them.
// Configuration code reaches them through this small binding so that it does
// not depend on the application object itself.

#include <cstdint>

namespace kelm {

struct InstalledFlags {
    int32_t& productInstalled;        // found by the manifest's ProductCode
    int32_t& relatedProductInstalled; // found by its UpgradeCode only
};

// Called by the application object when it is constructed. Until then (and in
// test programs without one) a process-wide pair of the configuration's own is
// used, starting at 0.
void BindInstalledFlags(int32_t& productInstalled, int32_t& relatedProductInstalled) noexcept;

// The flags of the running application.
InstalledFlags AppInstalledFlags() noexcept;

} // namespace kelm
