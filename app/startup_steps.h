#pragma once
// The steps of start-up that do more than call one subsystem: loading the
// manifest (and saying what is wrong with it), the asked-for language, and the
// wizard as the application's main window.

#include <string>

namespace kelm {

class CBrenvikApp;

// Loads the installer manifest into the configuration object (LoadManifest). When
// it cannot be used, shows a message naming the manifest file and what is wrong,
// and returns false: the run then ends before any network access.
bool LoadInstallerManifest() noexcept;
// "/lang <value>": this run's texts and slides come from that language when its
// folder has a string.ini; the run's log says whether it did.
void UseRequestedLanguage(const std::wstring& requested) noexcept;

// Runs the main wizard window (CInstallGuide on template 139) modally as the
// application's main window.
void RunMainWindow(CBrenvikApp& app);

} // namespace kelm
