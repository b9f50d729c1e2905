#include "engine/msi_package.h"

#include "config/installed_flags.h"
#include "config/installer_config.h"
#include "framework/app.h"
#include "runlog/run_log.h"
#include "runlog/run_message.h"

#include <msi.h>
#include <shlwapi.h>


namespace kelm {

namespace {

// Message kinds the handler is given; files-in-use and install start are left out.
constexpr DWORD kHandlerMessageFilter =
    INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING | INSTALLLOGMODE_USER |
    INSTALLLOGMODE_INFO | INSTALLLOGMODE_RESOLVESOURCE | INSTALLLOGMODE_OUTOFDISKSPACE |
    INSTALLLOGMODE_ACTIONSTART | INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_PROGRESS |
    INSTALLLOGMODE_COMMONDATA | INSTALLLOGMODE_INITIALIZE | INSTALLLOGMODE_TERMINATE |
    INSTALLLOGMODE_SHOWDIALOG | INSTALLLOGMODE_INSTALLEND;
static_assert(kHandlerMessageFilter == 0x08007FDF);

constexpr wchar_t kReinstallCommandLine[] = L"REINSTALL=ALL REINSTALLMODE=vomus REBOOT=ReallySuppress";

void WriteDebugLine(const std::wstring& line)
{
    ::OutputDebugStringW(line.c_str());
}

} // namespace

std::wstring MakeMsiCommandLine(bool productInstalled, bool relatedProductInstalled,
                                const std::wstring& installFolder)
{
    if (productInstalled)
        return kReinstallCommandLine;
    if (installFolder.empty() || !::PathFileExistsW(installFolder.c_str()))
        return {};
    std::wstring folder = installFolder;
    if (!relatedProductInstalled) {
        // A drive root keeps its backslash ("C:\"), as PathRemoveBackslashW does it.
        if (folder.size() > 1 && folder.back() == L'\\' && !(folder.size() == 3 && folder[1] == L':'))
            folder.pop_back();
    }
    return L"INSTALLDIR=\"" + folder + L"\"";
}

bool IsMsiSuccess(UINT resultCode)
{
    return resultCode == ERROR_SUCCESS || resultCode == ERROR_SUCCESS_REBOOT_REQUIRED;
}

UINT InstallMsiFile(CInstallEngine& engine, const InstallPackage& package, const TrustedFile& file,
                    const std::wstring& commandLine, HWND owner, const std::wstring& caption)
{
    if (!file) {
        Log(L"not installed: ", package.name, L" was not admitted");
        return ERROR_INSTALL_PACKAGE_INVALID;
    }
    MsiExecution& execution = engine.Msi();
    engine.BeginMsiExecution(package.name, owner, caption);
    ::MsiSetInternalUI(static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_NONE | INSTALLUILEVEL_SOURCERESONLY), nullptr);
    ::MsiSetExternalUIW(InstallerMessageHandler, kHandlerMessageFilter, &execution);
    // The Windows Installer's own verbose log goes beside the run's log.
    const std::wstring installerLog = PackageInstallerLogPath(package.name);
    if (!installerLog.empty())
        ::MsiEnableLogW(INSTALLLOGMODE_VERBOSE | INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR |
                            INSTALLLOGMODE_WARNING | INSTALLLOGMODE_USER | INSTALLLOGMODE_INFO |
                            INSTALLLOGMODE_ACTIONSTART | INSTALLLOGMODE_ACTIONDATA | INSTALLLOGMODE_COMMONDATA |
                            INSTALLLOGMODE_PROPERTYDUMP | INSTALLLOGMODE_OUTOFDISKSPACE,
                        installerLog.c_str(), 0);
    Log(L"Windows Installer: installing ", file.Path(), L" with command line \"", commandLine, L"\"",
        installerLog.empty() ? L"" : L"; its own log: ", installerLog);
    UINT rc = ::MsiInstallProductW(file.Path().c_str(), commandLine.empty() ? nullptr : commandLine.c_str());
    // The handler's context is the engine's, which may die before the process:
    // no later installation of the process may call into it.
    ::MsiSetExternalUIW(nullptr, 0, nullptr);
    if (!installerLog.empty())
        ::MsiEnableLogW(0, nullptr, 0);
    Log(L"Windows Installer: ", package.name, L" ended with ", rc, L" (", execution.ProgressMessageCount(),
        L" progress messages)");
    if (rc != ERROR_SUCCESS)
        WriteDebugLine(L"VORP_DEBUG: MSI Installation failed. Error Code: " + std::to_wstring(static_cast<int>(rc)) +
                       L"\r\n");
    return rc;
}

UINT InstallMsiPackage(CInstallEngine& engine, const InstallPackage& package, const TrustedFile& file)
{
    const InstalledFlags flags = AppInstalledFlags();
    const std::wstring commandLine =
        MakeMsiCommandLine(flags.productInstalled != 0, flags.relatedProductInstalled != 0, theConfig.installFolder);
    return InstallMsiFile(engine, package, file, commandLine, AfxGetMainWindowHandle(), theConfig.manifest.short_name);
}

} // namespace kelm
