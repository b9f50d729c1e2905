#pragma once
// The guard against a second running copy: a named semaphore, and the first
// copy's main window found by its class.

#include "framework/handles.h"

namespace kelm {

inline constexpr wchar_t kInstanceSemaphoreName[] = L"MirelleZunderInstaller_80";

struct InstanceGuard {
    UniqueHandle semaphore;    // null when the semaphore could not be created
    bool otherCopyRunning = false;
};

// Creates (or opens) the semaphore. A failure to create it counts as the first copy.
InstanceGuard CreateInstanceGuard() noexcept;

// Restores the first copy's main window when it is minimised and brings it to the
// front; false when no such window exists.
bool ActivateFirstCopy() noexcept;

} // namespace kelm
