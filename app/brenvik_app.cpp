#include "app/brenvik_app.h"

#include "app/command_line.h"
#include "app/new_client.h"
#include "app/single_instance.h"
#include "app/skin_palette.h"
#include "app/window_class.h"

namespace kelm {

CBrenvikApp::CBrenvikApp()
{
    LinkRunFlags(*this);
}

BOOL CBrenvikApp::InitInstance()
{
    InstanceGuard guard = CreateInstanceGuard();
    m_hInstanceGuard = std::move(guard.semaphore);
    if (guard.otherCopyRunning) {
        ActivateFirstCopy();
        return FALSE;
    }

    CWinApp::InitInstance();

    CommandLineOptions options = ParseCommandLine(ProcessArguments());
    m_bSilent = options.silent;
    m_bSkipClientCheck = options.skipClientCheck;
    m_bLaunchAfterInstall = options.launchAfterInstall;
    m_strRequestedLanguage = options.requestedLanguage;

    SetRegistryKey(L"Local AppWizard-Generated Applications");

    if (!RegisterInstallerWindowClass(m_hInstance))
        return FALSE;

    FillSkinPalette(SkinPalette);
    LinkSkinPalette(SkinPalette);
    CreateSharedFonts();
    if (!LoadInstallerManifest())
        return FALSE;

    if (!m_bSkipClientCheck) {
        m_clientValidator.m_strNewClientPath.clear();
        m_clientValidator.DoModal(); // returns once the check's task has ended
        if (m_clientValidator.m_nCheckOutcome != static_cast<int32_t>(ClientCheckOutcome::Continue))
            return FALSE;
    }

    {
        ComInitialization com;
        RunMainWindow(*this);
    }
    return FALSE;
}

int CBrenvikApp::ExitInstance()
{
    DeleteSharedFonts();
    m_hInstanceGuard.Reset();
    if (StartNewClient(m_clientValidator.m_nCheckOutcome, m_clientValidator.m_strNewClientPath) ==
        NewClientStart::Failed)
        AfxMessageBox(L"The updater cannot be launched!", MB_ICONERROR | MB_OK);
    return CWinApp::ExitInstance();
}

} // namespace kelm
