#pragma once
// Every message box of the installer goes through here. An interactive run
// shows it (and logs its text and the answer); a silent run shows nothing: no
// one could answer, and under a deployment tool there is no desktop to see it.
// The text goes to the log and the run takes `silentAnswer`, the answer that
// ends it safely.

#include <windows.h>

namespace kelm {

int ShowRunMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type, int silentAnswer) noexcept;

} // namespace kelm
