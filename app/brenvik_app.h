#pragma once
// The application object: the process from start to end, its run flags, the
// guard against a second copy and the actions at exit.

#include <cstdint>
#include <string>

#include "config/client_validator.h"
#include "framework/app.h"
#include "framework/handles.h"

namespace kelm {

class CBrenvikApp : public CWinApp {
public:
    CBrenvikApp();

    // Start-up: guard, options, window class, palette, fonts, manifest, client
    // check, wizard. Runs everything modally and returns FALSE.
    BOOL InitInstance() override;
    // Fonts, guard, and the start of a downloaded newer client.
    int ExitInstance() override;

    UniqueHandle m_hInstanceGuard;           // the single-instance semaphore
    int32_t m_bProductInstalled = 0;         // written by product detection
    int32_t m_bRelatedProductInstalled = 0;  // written by product detection
    int32_t m_bSilent = 0;                   // "/s"
    int32_t m_bSkipClientCheck = 0;          // "/n"
    int32_t m_bLaunchAfterInstall = 0;       // "/l"
    std::wstring m_strRequestedLanguage;     // "/lang": this run's texts and slides, when its folder exists
    std::wstring m_strNewClientParameters = L"/n"; // what a newer client is started with
    // The client-update dialog (template 172): it runs the client check on a task of its own and
    // returns from DoModal only once that task has ended; lives as long as the process.
    CClientValidator m_clientValidator{&m_bSilent};
};

// The one application object, defined beside the entry point (app/main.cpp).
extern CBrenvikApp theApp;

} // namespace kelm
