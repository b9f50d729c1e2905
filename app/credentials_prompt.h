#pragma once
// The dialog that asks the user for the credentials a proxy or a server wants.
// Requests run on worker threads; the system's credentials dialog is shown on
// the user-interface thread, owned by the window the user sees there (the
// client check's or the wizard), through a message-only window of that thread.
//
// Threads: InstallCredentialsPrompt and the window are the UI thread's; the
// prompt it hands to the HTTP client is called on request threads and waits
// for the UI thread's answer.

namespace kelm {

// On the UI thread of an interactive run: requests that meet a 407 or 401 ask
// the user from now on. False when the window could not be made (they do not).
bool InstallCredentialsPrompt() noexcept;

} // namespace kelm
