// One installation run: the package list from the manifest, then on the worker
// the version check, the downloads, the installations and the registration.
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <exception>

#include "config/installed_flags.h"
#include "config/installed_product.h"
#include "config/installer_config.h"
#include "config/localised_format.h"
#include "config/ui_strings.h"
#include "config/version_check.h"
#include "engine/exe_package.h"
#include "engine/install_engine.h"
#include "engine/msi_package.h"
#include "engine/registration.h"
#include "framework/app.h"
#include "runlog/run_log.h"
#include "runlog/run_message.h"
#include "transfer/download_job.h"
#include "transfer/http_client.h"
#include "transfer/download_file.h"
#include "transfer/sha256.h"
#include "trust/admin_folder.h"
#include "trust/trusted_file.h"

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

bool HasExtension(const std::wstring& path, const wchar_t* extension)
{
    return ::lstrcmpiW(::PathFindExtensionW(path.c_str()), extension) == 0;
}

// The manifest's size and SHA-256 of a package into the package; a text that
// is not a size or a hash is a fault of the manifest, named in expectationFault.
void TakeExpectation(InstallPackage& package, const std::wstring& size, const std::wstring& sha256)
{
    if (!size.empty()) {
        if (size.size() <= 19 && size.find_first_not_of(L"0123456789") == std::wstring::npos)
            package.expectedSize = std::stoull(size);
        else
            package.expectationFault = L"its size \"" + size + L"\" is not a number of bytes";
    }
    if (!sha256.empty()) {
        if (IsSha256Text(sha256))
            package.expectedSha256 = sha256;
        else
            package.expectationFault = L"its SHA-256 \"" + sha256 + L"\" is not 64 hexadecimal digits";
    }
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
        SetStatus(CancelRequested() ? PhaseCancelled : PhaseInstallFailed, -1, 0, L"");
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
        TakeExpectation(package, dependency.size, dependency.sha256);
        // A package with a hash keeps one name from run to run: a later run
        // finds it verified and does not fetch it again.
        package.localPath = package.expectedSha256.empty() ? MakeDownloadPath(dependency.name)
                                                            : theConfig.componentFolder + dependency.name;
        package.partialPath = theConfig.componentFolder + dependency.name + L".partial";
        package.url = dependency.full_url;
        package.mirrors = dependency.mirrors;
        package.commandLine = dependency.install_commandline;
        package.publisher = dependency.publisher;
        package.needsDownload = needsDownload;
        m_packages.push_back(std::move(package));
        if (needsDownload)
            downloadShares.push_back(kDependencyShare);
        installShares.push_back(kDependencyShare);
    }

    InstallPackage main;
    main.isMainComponent = 1;
    main.name = manifest.mainComponent.name;
    main.localPath = theConfig.msiFolder + main.name;
    const bool update = AppInstalledFlags().productInstalled != 0 && !manifest.mainComponent.patch_url.empty();
    main.url = update ? manifest.mainComponent.patch_url : manifest.mainComponent.full_url;
    main.mirrors = update ? manifest.mainComponent.patch_mirrors : manifest.mainComponent.full_mirrors;
    if (update)
        TakeExpectation(main, manifest.mainComponent.patch_size, manifest.mainComponent.patch_sha256);
    else
        TakeExpectation(main, manifest.mainComponent.full_size, manifest.mainComponent.full_sha256);
    main.partialPath = main.localPath + L".partial";
    main.publisher = manifest.mainComponent.publisher;
    main.needsDownload = needsDownload;
    m_packages.push_back(std::move(main));
    if (needsDownload)
        downloadShares.push_back(kMainComponentShare);
    installShares.push_back(kMainComponentShare);

    for (const InstallPackage& package : m_packages)
        Log(package.isMainComponent ? L"main package " : L"prerequisite ", package.name, L": ", package.localPath,
            package.needsDownload ? L" from " : L" (local)", package.needsDownload ? package.url : std::wstring());

    m_admittedFiles.clear();
    m_admittedFiles.resize(m_packages.size());
    CriticalSectionLock hold(InstallStatusLock());
    g_installStatus.downloadShares = NormaliseShares(std::move(downloadShares));
    g_installStatus.installShares = NormaliseShares(std::move(installShares));
}

void CInstallEngine::Fail(ExitCode code, std::wstring message)
{
    m_outcome = {code, std::move(message)};
}

// The folder the product really went to. The installer's folder is given to
// the Windows Installer only when it exists; when it does not (a first silent
// installation on a new machine), the package went to its own default folder,
// which its record names. (A folder that exists is where the product went:
// under Wine the record follows the package's default folder again after a
// repair.) The registration and the start of the product use it.
void CInstallEngine::TakeInstalledLocation()
{
    if (theConfig.installFolder.empty() || ::PathFileExistsW(theConfig.installFolder.c_str()))
        return;
    const InstalledProductInfo installed = QueryProductByCode(theConfig.manifest.product_code);
    if (installed.InstallLocation.empty())
        return;
    // Recorded for everyone only when nobody but the administrators could have
    // put the program there (a per-user installation of the same product could
    // name a folder of the user's).
    std::wstring program = installed.InstallLocation;
    if (!program.empty() && program.back() != L'\\')
        program += L'\\';
    program += theConfig.manifest.executable;
    const AdminFolderCheck check = CheckAdminOnlyFile(program);
    if (!check.Passed()) {
        Log(L"the product's recorded folder ", installed.InstallLocation, L" is not recorded: ",
            DescribeFolderVerdict(check.verdict), L" (", check.folder, L")");
        return;
    }
    Log(L"the product was installed in ", installed.InstallLocation, L", the package's own folder (",
        theConfig.installFolder, L" does not exist); that is what is recorded");
    theConfig.installFolder = installed.InstallLocation;
}

void CInstallEngine::EndRun(InstallPhase phase)
{
    const ExitCode code = m_outcome.code;
    RecordExitCode(code);
    Log(L"installation run ended: ", phase == PhaseFinished ? L"finished" : phase == PhaseCancelled ? L"cancelled"
                                                                                                   : L"failed",
        L"; exit code ", static_cast<int32_t>(code), L" (", DescribeExitCode(code), L")");
    if (phase == PhaseFinished)
        FinishStatus();
    else
        SetStatus(phase, -1, 0, L"");
}

void CInstallEngine::RunSequence()
{
    // Whatever happens here, the run ends in a final phase: the status panel waits for one.
    bool installed = false;
    try {
        if (CheckVersion() && DownloadPackages() && InstallPackages()) {
            TakeInstalledLocation();
            RegisterInstallation();
            installed = true;
            theConfig.homepageUrl = m_msi.HomePageUrl();
            // The product is there: a Cancel that came meanwhile cannot undo that.
            m_outcome = {m_bRestartNeeded ? ExitCode::RestartNeeded : ExitCode::Installed, {}};
            EndRun(PhaseFinished);
        } else if (!CancelRequested()) {
            if (!m_outcome.message.empty())
                ShowRunMessage(nullptr, m_outcome.message.c_str(), theConfig.manifest.short_name.c_str(),
                               MB_ICONERROR | MB_OK, IDOK);
            EndRun(PhaseInstallFailed);
        }
    } catch (...) {
        Log(L"installation run broke off (out of memory or the like)");
        if (!installed && !CancelRequested()) {
            Fail(ExitCode::InstallFailed);
            EndRun(PhaseInstallFailed);
        }
    }
    if (!installed && CancelRequested()) {
        Fail(ExitCode::Cancelled);
        EndRun(PhaseCancelled);
    }
}

bool CInstallEngine::CheckVersion()
{
    const ProductManifest& manifest = theConfig.manifest;
    if (!manifest.standalone) {
        const std::wstring path = MakeDownloadPath(L"version.xml");
        CDownloadJob job(manifest.version_check_url, path);
        job.Expect({std::nullopt, L"", kMaxDescriptorSize});
        job.AddMirrors(manifest.version_check_mirrors);
        EngineJobOwner owner(*this);
        const bool fetched = job.Run(&owner, [](const DownloadStatusInfo&) {}) != 0;
        // Read through the handle the download still holds: the bytes that came.
        const UniqueFile held = fetched ? job.TakeVerifiedFile() : UniqueFile();
        const std::optional<std::string> bytes =
            held ? ReadHeldFile(held.Get(), kMaxDescriptorSize) : std::optional<std::string>();
        if (!bytes || !LoadVersionDescriptorBytes(theConfig, *bytes, path)) {
            if (!CancelRequested())
                Log(L"version check: ", manifest.version_check_url,
                    fetched ? L" gave no version descriptor" : L" could not be fetched: ",
                    fetched ? L"" : DescribeDownloadFailure(job.Failure()));
            const DiskShortage& shortage = job.Shortage();
            if (job.Failure() == DownloadFailure::DiskSpace)
                Fail(ExitCode::DiskFull, DiskSpaceMessage(shortage.folder, shortage.needed, shortage.available));
            else
                Fail(ExitCode::ServerUnreachable, GetUiString(IDS_ERR_CONNECT_DOWNLOAD_SERVER));
            return false;
        }
    }

    std::wstring message;
    const VersionCheckResult decision = EvaluateVersionCheck();
    Log(L"installation: ", DescribeVersionCheck(decision));
    if (decision != Proceed)
        Fail(ExitCodeForVersionCheck(decision)); // the question below is its message
    switch (decision) {
    case Proceed:
        return true;
    case AlreadyInstalled:
        message = FormatWithText(GetUiString(IDS_ERR_INSTALLED_ALREADY), manifest.short_name,
                                 IDS_ERR_INSTALLED_ALREADY.defaultText);
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
    if (!CancelRequested())
        ShowRunMessage(AfxGetMainWindowHandle(), message.c_str(), kVersionCheckCaption, MB_ICONERROR | MB_OKCANCEL, IDOK);
    return false;
}

bool CInstallEngine::DownloadPackages()
{
    m_admittedFiles.resize(m_packages.size());
    int32_t downloadIndex = 0;
    for (size_t index = 0; index < m_packages.size(); ++index) {
        if (CancelRequested())
            return false;
        if (!m_packages[index].needsDownload)
            continue;
        if (!DownloadPackage(index, downloadIndex))
            return false;
        ++downloadIndex;
    }
    return true;
}

bool CInstallEngine::DownloadPackage(size_t index, int32_t downloadIndex)
{
    const InstallPackage& package = m_packages[index];
    if (!package.expectationFault.empty()) {
        Log(L"the manifest's ", package.name, L" cannot be checked: ", package.expectationFault,
            L"; it is not downloaded");
        Fail(ExitCode::BadManifest,
             FormatWithTexts(GetUiString(IDS_ERR_MANIFEST_UNSAFE),
                             {theConfig.manifestPath, package.name, package.expectationFault},
                             IDS_ERR_MANIFEST_UNSAFE.defaultText));
        return false;
    }
    // What the later downloads will need on the same volume, as far as the manifest tells.
    uint64_t later = 0;
    for (size_t next = index + 1; next < m_packages.size(); ++next)
        if (m_packages[next].needsDownload)
            later += m_packages[next].expectedSize.value_or(0);

    EngineJobOwner owner(*this);
    CDownloadJob job(package.url, package.localPath);
    job.Expect({package.expectedSize, package.expectedSha256, std::nullopt});
    job.UsePartialFile(package.partialPath);
    job.AddMirrors(package.mirrors);
    job.AlsoNeedSpace(later);
    const std::wstring name = package.name;
    // The bar never goes back: not at the job's last report (0 received), not
    // when a download starts again from the beginning.
    uint64_t highest = 0;
    const int result = job.Run(&owner, [downloadIndex, name, &highest](const DownloadStatusInfo& info) {
        uint64_t percent = info.total == 0 ? 0 : info.received * 100 / info.total;
        percent = std::min<uint64_t>(std::max(percent, highest), 100);
        highest = percent;
        SetStatus(PhaseDownloading, downloadIndex, static_cast<int32_t>(percent), name);
    });
    if (result) {
        const PackageVouchers vouchers{OriginOf(package.url), !package.expectedSha256.empty(), package.publisher};
        Admission admission = AdmitPackage(job.TakeVerifiedFile(), package.localPath, vouchers);
        if (admission.Admitted()) {
            m_admittedFiles[index] = std::move(admission.file);
            return true;
        }
        // Not the vendor's: like bytes that did not match their SHA-256.
        Log(L"download of ", package.name, L" from ", package.url, L" failed: it is not the vendor's");
        Fail(ExitCode::ServerUnreachable, GetUiString(IDS_ERR_CONNECT_DOWNLOAD_SERVER));
        return false;
    }
    if (job.Failure() == DownloadFailure::DiskSpace) {
        const DiskShortage& shortage = job.Shortage();
        Fail(ExitCode::DiskFull, DiskSpaceMessage(shortage.folder, shortage.needed, shortage.available));
        return false;
    }
    if (!CancelRequested())
        Log(L"download of ", package.name, L" from ", package.url, L" failed: ", DescribeDownloadFailure(job.Failure()));
    Fail(ExitCode::ServerUnreachable, GetUiString(IDS_ERR_CONNECT_DOWNLOAD_SERVER));
    return false;
}

// A package of a standalone run, beside the installer: held from here on and
// checked against the manifest's size, SHA-256 and publisher before it is used.
TrustedFile CInstallEngine::AdmitLocalPackage(const InstallPackage& package)
{
    if (!package.expectationFault.empty()) {
        Log(L"the manifest's ", package.name, L" cannot be checked: ", package.expectationFault,
            L"; it is not installed");
        return {};
    }
    UniqueFile held = OpenHeldForReading(package.localPath);
    if (!held) {
        Log(L"could not open ", package.localPath, L" (error ", ::GetLastError(), L")");
        return {};
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(held.Get(), &size) ||
        (package.expectedSize && *package.expectedSize != static_cast<uint64_t>(size.QuadPart))) {
        Log(L"refused: ", package.localPath, L" has ", static_cast<uint64_t>(size.QuadPart), L" bytes, not the ",
            package.expectedSize.value_or(0), L" the manifest gives");
        return {};
    }
    const bool hashed = !package.expectedSha256.empty();
    if (hashed) {
        const std::wstring digest = Sha256OfOpenFile(held.Get());
        if (!SameSha256(digest, package.expectedSha256)) {
            Log(L"refused: ", package.localPath, L" has SHA-256 ", digest, L", not the manifest's ",
                package.expectedSha256);
            return {};
        }
        Log(L"verified: ", package.localPath, L", SHA-256 ", digest);
    }
    const PackageVouchers vouchers{PackageOrigin::BesideInstaller, hashed, package.publisher};
    return AdmitPackage(std::move(held), package.localPath, vouchers).file;
}

bool CInstallEngine::InstallPackages()
{
    m_admittedFiles.resize(m_packages.size());
    m_nInstallIndex = 0;
    for (const InstallPackage& package : m_packages) {
        if (CancelRequested())
            return false;
        TrustedFile& file = m_admittedFiles[static_cast<size_t>(&package - m_packages.data())];
        if (!package.needsDownload && ::PathFileExistsW(package.localPath.c_str())) {
            file = AdmitLocalPackage(package);
            if (!file) {
                Fail(ExitCode::InstallFailed);
                return false;
            }
        }
        if (!file) {
            // Without the main package nothing would be installed: that is a failure,
            // not a success. A missing prerequisite is skipped; the next one takes its index.
            if (package.isMainComponent) {
                Log(L"main package ", package.localPath, L" is missing: nothing can be installed");
                Fail(ExitCode::InstallFailed);
                return false;
            }
            Log(L"prerequisite ", package.localPath, L" is missing: skipped");
            continue;
        }
        SetStatus(PhaseInstalling, m_nInstallIndex, 0, package.name);
        const bool installed = InstallOnePackage(package, file);
        file.Release();
        if (!installed)
            return false;
        SetStatus(PhaseInstalling, m_nInstallIndex, 100, package.name);
        ++m_nInstallIndex;
    }
    return true;
}

bool CInstallEngine::InstallOnePackage(const InstallPackage& package, const TrustedFile& file)
{
    if (HasExtension(package.localPath, L".msi")) {
        const UINT rc = InstallMsiPackage(*this, package, file);
        if (rc == ERROR_SUCCESS_REBOOT_REQUIRED)
            m_bRestartNeeded = true;
        if (IsMsiSuccess(rc))
            return true;
        if (m_msi.CancelledInInstallerBox())
            Log(L"the installation of ", package.name, L" was cancelled in a box of the Windows Installer");
        // The Windows Installer has told the user already: no message of ours follows.
        Fail(rc == ERROR_INSTALL_USEREXIT          ? ExitCode::Cancelled
             : rc == ERROR_INSTALL_ALREADY_RUNNING ? ExitCode::AnotherInstallRunning
                                                   : ExitCode::InstallFailed);
        return false;
    }
    if (HasExtension(package.localPath, L".exe")) {
        const ExeRunResult result = RunExePackage(package, file, m_hCancelEvent.Get());
        if (result.leftRunning)
            return false; // cancelled while it ran: the run ends, the installer goes on alone
        if (!package.isMainComponent) {
            // A failing prerequisite installer does not stop the run; the log keeps its result.
            if (!result.started || (result.exitCode != 0 && result.exitCode != ERROR_SUCCESS_REBOOT_REQUIRED))
                Log(L"prerequisite ", package.name, L" did not succeed; the run goes on");
            return true;
        }
        if (result.started && result.exitCode == ERROR_SUCCESS_REBOOT_REQUIRED)
            m_bRestartNeeded = true;
        if (result.started && (result.exitCode == 0 || result.exitCode == ERROR_SUCCESS_REBOOT_REQUIRED))
            return true;
        Fail(ExitCode::InstallFailed);
        return false;
    }
    if (package.isMainComponent) {
        Log(L"main package ", package.name, L" is neither an .msi nor an .exe file: not installed");
        Fail(ExitCode::InstallFailed);
        return false;
    }
    Log(L"prerequisite ", package.name, L" is neither an .msi nor an .exe file: counted as installed");
    return true;
}

} // namespace kelm
