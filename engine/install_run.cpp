// One installation run: the package list from the manifest, then on the worker
// the version check, the downloads, the installations and the registration.
#include <windows.h>
#include <shlwapi.h>

#include <exception>

#include "config/installed_flags.h"
#include "config/installer_config.h"
#include "config/ui_strings.h"
#include "config/version_check.h"
#include "engine/exe_package.h"
#include "engine/install_engine.h"
#include "engine/msi_package.h"
#include "engine/main_window.h"
#include "engine/registration.h"
#include "transfer/download_job.h"
#include "transfer/http_client.h"

namespace kelm {

namespace {

constexpr int32_t kDependencyShare = 40;
constexpr int32_t kMainComponentShare = 50;
constexpr wchar_t kVersionCheckCaption[] = L"Windows Installer";

// What a download job reads from the engine: its two events.
class EngineJobOwner final : public IDownloadJobOwner {
public:
    explicit EngineJobOwner(const CInstallEngine& engine) : m_engine(engine) {}
    HANDLE GetCancelEvent() const override { return m_engine.CancelEvent(); }
    HANDLE GetRunEvent() const override { return m_engine.RunEvent(); }

private:
    const CInstallEngine& m_engine;
};

// The first "%s" of a localised text replaced by `value`. Translations come
// from a file beside the program; they are never used as a format string.
std::wstring FillName(std::wstring text, const std::wstring& value)
{
    const size_t at = text.find(L"%s");
    if (at != std::wstring::npos)
        text.replace(at, 2, value);
    return text;
}

bool HasExtension(const std::wstring& path, const wchar_t* extension)
{
    return ::lstrcmpiW(::PathFindExtensionW(path.c_str()), extension) == 0;
}

} // namespace

void CInstallEngine::Start()
{
    try {
        BuildPackageList();
        OpenSession();
        m_worker = std::async(std::launch::async, [this] { RunSequence(); });
    } catch (...) {
        // No worker: the run ends here, so that the panel sees a final phase.
        SetStatus(PhaseInstallFailed, -1, 0, L"");
        if (IsCancelling())
            SetStatus(PhaseCancelled, -1, 0, L"");
    }
}

void CInstallEngine::BuildPackageList()
{
    const ProductManifest& manifest = theConfig.manifest;
    const int32_t needsDownload = manifest.standalone ? 0 : 1;
    std::vector<int32_t> downloadShares;
    std::vector<int32_t> installShares;
    m_packages.clear();

    for (const DependencyInfo& dependency : manifest.dependencies) {
        if (IsDependencyPresent(dependency.name))
            continue;
        InstallPackage package;
        package.name = dependency.name;
        package.localPath = MakeDownloadPath(dependency.name);
        package.url = dependency.full_url;
        package.commandLine = dependency.install_commandline;
        package.needsDownload = needsDownload;
        m_packages.push_back(std::move(package));
        if (needsDownload)
            downloadShares.push_back(kDependencyShare);
        installShares.push_back(kDependencyShare);
    }

    InstallPackage main;
    main.name = manifest.mainComponent.name;
    main.localPath = theConfig.msiFolder + main.name;
    const bool update = AppInstalledFlags().productInstalled != 0 && !manifest.mainComponent.patch_url.empty();
    main.url = update ? manifest.mainComponent.patch_url : manifest.mainComponent.full_url;
    main.needsDownload = needsDownload;
    m_packages.push_back(std::move(main));
    if (needsDownload)
        downloadShares.push_back(kMainComponentShare);
    installShares.push_back(kMainComponentShare);

    CriticalSectionLock hold(InstallStatusLock());
    g_installStatus.downloadShares = NormaliseShares(std::move(downloadShares));
    g_installStatus.installShares = NormaliseShares(std::move(installShares));
}

void CInstallEngine::RunSequence()
{
    // Whatever happens here, the run ends in a final phase: the status panel waits for one.
    try {
        if (CheckVersion() && DownloadPackages() && InstallPackages()) {
            RegisterInstallation();
            theConfig.homepageUrl = m_strHomePageUrl;
            SetStatus(PhaseFinished, -1, 0, L"");
        } else if (!IsCancelling()) {
            if (m_nFailure == 4) {
                const std::wstring text = GetUiString(IDS_ERR_CONNECT_DOWNLOAD_SERVER);
                ::MessageBoxW(nullptr, text.c_str(), theConfig.manifest.short_name.c_str(), MB_ICONERROR | MB_OK);
            }
            SetStatus(PhaseInstallFailed, -1, 0, L"");
        }
    } catch (...) {
        SetStatus(PhaseInstallFailed, -1, 0, L"");
    }
    if (IsCancelling())
        SetStatus(PhaseCancelled, -1, 0, L"");
}

bool CInstallEngine::CheckVersion()
{
    const ProductManifest& manifest = theConfig.manifest;
    if (!manifest.standalone) {
        const std::wstring path = MakeDownloadPath(L"version.xml");
        CDownloadJob job(manifest.version_check_url, path);
        EngineJobOwner owner(*this);
        if (!job.Run(&owner, [](const DownloadStatusInfo&) {}) || !LoadVersionDescriptor(path)) {
            m_nFailure = 4;
            return false;
        }
    }

    std::wstring message;
    switch (EvaluateVersionCheck()) {
    case Proceed:
        return true;
    case AlreadyInstalled:
        message = FillName(GetUiString(IDS_ERR_INSTALLED_ALREADY), manifest.short_name);
        break;
    case ClientTooOld:
        message = GetUiString(IDS_ERR_CLIENT_TOO_OLD);
        break;
    case OtherProductInstalled:
        message = GetUiString(IDS_ERR_INSTALLED_ANOTHER_VERSION);
        break;
    default:
        return false;
    }
    // The answer does not matter: the run stops either way. A run cancelled
    // meanwhile shows nothing more.
    if (!m_bCancelled)
        ::MessageBoxW(MainWindowHandle(), message.c_str(), kVersionCheckCaption, MB_ICONERROR | MB_OKCANCEL);
    return false;
}

bool CInstallEngine::DownloadPackages()
{
    EngineJobOwner owner(*this);
    int32_t downloadIndex = 0;
    for (const InstallPackage& package : m_packages) {
        if (m_bCancelled)
            return false;
        if (!package.needsDownload)
            continue;
        CDownloadJob job(package.url, package.localPath);
        const int32_t index = downloadIndex;
        const std::wstring name = package.name;
        const int result = job.Run(&owner, [index, name](const DownloadStatusInfo& info) {
            uint64_t percent = info.total == 0 ? 0 : info.received * 100 / info.total;
            if (percent > 100)
                percent = 100;
            SetStatus(PhaseDownloading, index, static_cast<int32_t>(percent), name);
        });
        if (!result) {
            m_nFailure = 4;
            return false;
        }
        ++downloadIndex;
    }
    return true;
}

bool CInstallEngine::InstallPackages()
{
    m_nInstallIndex = 0;
    for (const InstallPackage& package : m_packages) {
        if (m_bCancelled)
            return false;
        // A package that is not there is skipped; the next one takes its index.
        if (!::PathFileExistsW(package.localPath.c_str()))
            continue;
        SetStatus(PhaseInstalling, m_nInstallIndex, 0, package.name);
        bool succeeded = true;
        if (HasExtension(package.localPath, L".exe"))
            RunExePackage(package); // a failing prerequisite installer does not stop the run
        else if (HasExtension(package.localPath, L".msi"))
            succeeded = InstallMsiPackage(*this, package);
        if (!succeeded)
            return false;
        SetStatus(PhaseInstalling, m_nInstallIndex, 100, package.name);
        ++m_nInstallIndex;
    }
    return true;
}

} // namespace kelm
