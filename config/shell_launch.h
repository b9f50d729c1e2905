#pragma once
// Starts a program through the desktop shell, so that it runs with the shell's
// (the signed-in user's) rights instead of the installer's elevated ones.

#include <string>

namespace kelm {

// A program, a document or a web address (the shell opens it with the user's
// browser). COM must be initialised on the calling thread. False when the shell
// cannot be reached or refuses; nothing is shown then.
bool LaunchUnelevated(const std::wstring& path);

} // namespace kelm
