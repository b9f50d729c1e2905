#include "app/startup_steps.h"

#include "app/brenvik_app.h"
#include "config/installed_flags.h"
#include "config/installer_config.h"
#include "runlog/run_log.h"
#include "runlog/run_message.h"
#include "runlog/run_outcome.h"
#include "wizard/install_guide.h"

namespace kelm {

void UseRequestedLanguage(const std::wstring& requested) noexcept
{
    try {
        if (theConfig.languages.UseRequestedLanguage(requested))
            Log(L"language ", requested, L" as asked for (\"/lang\"): texts and slides from ",
                theConfig.languages.StringFilePath());
        else
            Log(L"language ", requested, L" asked for (\"/lang\") has no folder with a string.ini beside the "
                L"installer; the texts stay in ", theConfig.languages.langId);
    } catch (...) {
        // Out of memory: the language stays as it was.
    }
}

bool LoadInstallerManifest() noexcept
{
    try {
        ManifestLoadReport report;
        if (LoadManifest(theConfig, AppInstalledFlags(), &report) == ManifestLoaded) {
            const ProductManifest& manifest = theConfig.manifest;
            const InstalledFlags flags = AppInstalledFlags();
            Log(L"manifest ", theConfig.manifestPath, L": ", manifest.full_name, L", client ",
                manifest.web_installer_version, manifest.standalone ? L", standalone" : L", from the server");
            if (flags.productInstalled || flags.relatedProductInstalled)
                Log(flags.productInstalled ? L"product installed: " : L"related product installed: ",
                    theConfig.installedProduct.InstalledProductName, L" ", theConfig.installedProduct.VersionString,
                    L" in ", theConfig.installedProduct.InstallLocation);
            else
                Log(L"product not installed; installation folder ", theConfig.installFolder);
            return true;
        }
        // Boxes about the product carry its short name; without one, the error caption.
        const std::wstring caption = theConfig.manifest.short_name.empty() ? GetUiString(IDS_ERR_CAPTION)
                                                                           : theConfig.manifest.short_name;
        const std::wstring text = DescribeManifestFault(theConfig, report);
        RecordExitCode(ExitCodeForManifestFault(report.fault));
        ShowRunMessage(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND, IDOK);
    } catch (...) {
        // Out of memory while reading the manifest: nothing sensible can follow.
        RecordExitCode(ExitCode::BadManifest);
    }
    return false;
}

void RunMainWindow(CBrenvikApp& app)
{
    WizardRunFlags flags;
    flags.silent = app.m_bSilent;
    flags.launchAfterInstall = app.m_bLaunchAfterInstall;
    flags.productInstalled = app.m_bProductInstalled;
    flags.relatedProductInstalled = app.m_bRelatedProductInstalled;
    CInstallGuide wizard(flags);
    app.m_pMainWnd = &wizard;
    wizard.DoModal();
    app.m_pMainWnd = nullptr;
}

} // namespace kelm
