#include "app/brenvik_app.h"

#include "app/command_line.h"
#include "app/credentials_prompt.h"
#include "app/new_client.h"
#include "app/single_instance.h"
#include "app/skin_palette.h"
#include "app/startup_steps.h"
#include "app/window_class.h"
#include "config/installed_flags.h"
#include "runlog/run_log.h"
#include "runlog/run_message.h"
#include "runlog/run_outcome.h"
#include "skin/fonts.h"
#include "skin/palette.h"
#include "transfer/http_client.h"
#include "trust/authenticode.h"

namespace kelm {

CBrenvikApp::CBrenvikApp()
{
    // Product detection writes the installed-product flags into the application object.
    BindInstalledFlags(m_bProductInstalled, m_bRelatedProductInstalled);
}

namespace {

void StartRunLog(const CommandLineOptions& options)
{
    // A log that cannot be written never stops the installation.
    if (options.logPath.empty())
        OpenNewRunLog();
    else
        OpenRunLog(options.logPath);
    Log(L"KelmWebInstaller started: ", ::GetCommandLineW());
    Log(L"options: silent ", options.silent, L", no client check ", options.skipClientCheck,
        L", start the product afterwards ", options.launchAfterInstall, L", language \"", options.requestedLanguage,
        L"\", log \"", options.logPath, L"\", proxy \"",
        options.proxy.empty() ? std::wstring(L"the system's settings") : options.proxy, L"\"");
}

} // namespace

BOOL CBrenvikApp::InitInstance()
{
    // The options have no effect before the guard; they are read first so that
    // even a second copy leaves a log of what happened to it.
    CommandLineOptions options = ParseCommandLine(ProcessArguments());
    SetSilentRun(options.silent != 0);
    StartRunLog(options);
    if (!options.refusedProxy.empty())
        Log(L"\"/proxy ", options.refusedProxy, L"\" is not host:port or direct: the system's proxy settings are used");
    UseProxy(options.proxy); // before the first request opens the session
    // The signer of this program's own file, read at once: a newer client must
    // have it, and the file is read before anything could be put in its place.
    OwnSignerName();

    InstanceGuard guard = CreateInstanceGuard();
    m_hInstanceGuard = std::move(guard.semaphore);
    if (guard.otherCopyRunning) {
        Log(L"another copy of the installer is running: ",
            ActivateFirstCopy() ? L"its window was brought to the front" : L"its window was not found");
        RecordExitCode(ExitCode::SecondCopy);
        return FALSE;
    }

    CWinApp::InitInstance();

    m_bSilent = options.silent;
    m_bSkipClientCheck = options.skipClientCheck;
    m_bLaunchAfterInstall = options.launchAfterInstall;
    m_strRequestedLanguage = options.requestedLanguage;
    m_strNewClientParameters = NewClientParameters(options);
    // A silent run asks nobody: a proxy or server that wants credentials ends it.
    if (!options.silent && !InstallCredentialsPrompt())
        Log(L"the credentials prompt could not be made (error ", ::GetLastError(), L"): a proxy that asks for "
            L"credentials ends the run");

    SetRegistryKey(L"Local AppWizard-Generated Applications");

    if (!RegisterInstallerWindowClass(m_hInstance)) {
        Log(L"the installer's window class could not be registered (error ", ::GetLastError(), L")");
        return FALSE;
    }

    FillSkinPalette(SkinPalette);
    UseSkinPalette(SkinPalette);
    // A font that cannot be made leaves its controls on the system font.
    CreateSkinFonts();
    if (!LoadInstallerManifest())
        return FALSE;
    if (!m_strRequestedLanguage.empty())
        UseRequestedLanguage(m_strRequestedLanguage);

    if (!m_bSkipClientCheck) {
        m_clientValidator.m_strNewClientPath.clear();
        m_clientValidator.DoModal(); // returns once the check's task has ended
        if (m_clientValidator.m_nCheckOutcome != ClientCheckOutcome::Continue)
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
    DeleteSkinFonts();
    m_hInstanceGuard.Reset();
    if (StartNewClient(m_clientValidator.m_nCheckOutcome, m_clientValidator.m_newClient,
                       m_strNewClientParameters) == NewClientStart::Failed)
        ShowRunMessage(nullptr, L"The updater cannot be launched!",
                       m_strAppName.empty() ? nullptr : m_strAppName.c_str(), MB_ICONERROR | MB_OK, IDOK);
    CWinApp::ExitInstance();
    // Request threads a Cancel walked away from end (at most kSessionCloseWait) before the session goes.
    CloseSession();
    const ExitCode code = RecordedExitCode();
    Log(L"exit code ", static_cast<int32_t>(code), L": ", DescribeExitCode(code));
    CloseRunLog();
    return static_cast<int>(code);
}

} // namespace kelm
