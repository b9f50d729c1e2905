#pragma once
// Starts a program through the desktop shell, so that it runs with the shell's
// (the signed-in user's) rights instead of the installer's elevated ones.

#include <string>

namespace kelm {

// COM must be initialised on the calling thread. Silent: when the shell cannot
// be reached nothing starts and nothing is reported.
void LaunchUnelevated(const std::wstring& path);

} // namespace kelm
