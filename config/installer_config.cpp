#include "config/installer_config.h"

#include "config/localised_format.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "config/registry_key.h"
#include "framework/module_path.h"
#include "runlog/run_log.h"
#include "trust/plain_name.h"
#include "trust/trusted_file.h"

namespace kelm {

namespace {

constexpr wchar_t kRegisteredManifestKey[] = L"SOFTWARE\\Kelmware\\Zunder Pro\\080";

bool FolderExists(const std::wstring& folder)
{
    return ::PathIsDirectoryW(folder.c_str()) != FALSE;
}

// SHCreateDirectory wants the folder without its trailing backslash.
bool CreateFolderTree(const std::wstring& folderWithBackslash)
{
    std::wstring folder = folderWithBackslash;
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return ::SHCreateDirectory(nullptr, folder.c_str()) == ERROR_SUCCESS;
}

ManifestLoadReport Fail(int32_t status, ManifestFault fault, std::wstring subject = {})
{
    return ManifestLoadReport{status, fault, std::move(subject), {}};
}

// The registered manifest decides every address, command line and file name of
// the elevated run, and any program of the user can set the value: it is taken
// only where no user can change the file.
bool IsRegisteredManifestTrusted(const std::wstring& path)
{
    const AdminFolderCheck check = CheckAdminOnlyFile(path);
    if (check.Passed())
        return true;
    Log(L"registered manifest ", path, L" ignored (", check.folder, L": ", DescribeFolderVerdict(check.verdict),
        L"); the manifest beside the installer is read");
    return false;
}

ManifestFault UnreadableFault(const std::wstring& path)
{
    return ::PathFileExistsW(path.c_str()) ? ManifestFault::NotWellFormed : ManifestFault::FileMissing;
}

const wchar_t* MissingRequiredElement(const ProductManifest& manifest)
{
    if (manifest.pid.empty())
        return L"kelmwebinstaller/product/pid";
    if (manifest.registry.empty())
        return L"kelmwebinstaller/product/registry";
    if (manifest.mainComponent.full_url.empty())
        return L"kelmwebinstaller/product/main_component/full_url";
    return nullptr;
}

} // namespace

ManifestLoadReport LoadManifestFor(InstallerConfig& config, InstalledFlags flags, const std::wstring& modulePath)
{
    const size_t lastBackslash = modulePath.rfind(L'\\');
    config.moduleFolder = lastBackslash == std::wstring::npos ? std::wstring() : modulePath.substr(0, lastBackslash);
    if (config.moduleFolder.empty())
        return Fail(ModulePathUnavailable, ManifestFault::ModulePathUnavailable);

    // The local manifest must always be there, even when a registered one replaces it.
    config.manifestPath = config.moduleFolder + L"\\config\\manifest.xml";
    if (!ParseManifest(config.manifestPath, config.manifest))
        return Fail(ManifestUnusable, UnreadableFault(config.manifestPath), config.manifestPath);

    if (config.manifest.standalone != 1) {
        std::wstring registeredPath;
        if (ReadRegisteredManifestPath(registeredPath) && IsRegisteredManifestTrusted(registeredPath)) {
            config.manifestPath = registeredPath;
            ProductManifest registered;
            if (!ParseManifest(config.manifestPath, registered))
                return Fail(ManifestUnusable, UnreadableFault(config.manifestPath), config.manifestPath);
            if (registered.standalone == 1) {
                // Its packages would be taken from beside this installer (a Downloads
                // folder) on the word of a manifest that does not lie there.
                Log(L"registered manifest ", registeredPath, L" ignored: it is a standalone manifest; the manifest "
                    L"beside the installer is read");
                config.manifestPath = config.moduleFolder + L"\\config\\manifest.xml";
            } else {
                // Whole replacement: nothing of the local manifest survives.
                config.manifest = std::move(registered);
            }
        }
    }

    if (const wchar_t* missing = MissingRequiredElement(config.manifest))
        return Fail(ManifestUnusable, ManifestFault::RequiredFieldMissing, missing);
    std::wstring unsafeElement;
    std::wstring unsafeWhy;
    if (FindUnsafeManifestValue(config.manifest, unsafeElement, unsafeWhy)) {
        Log(L"manifest ", config.manifestPath, L": ", unsafeElement, L" cannot be used: ", unsafeWhy);
        ManifestLoadReport report = Fail(ManifestUnsafe, ManifestFault::UnsafeValue, unsafeElement);
        report.detail = unsafeWhy;
        return report;
    }

    InitLanguages(config);
    DetectInstalledProduct(config, flags);

    const AdminFolderCheck folders = PrepareWorkFolders(config);
    if (!folders.Passed()) {
        Log(L"work folder ", folders.folder, L": ", DescribeFolderVerdict(folders.verdict), L" (error ",
            folders.error, L")");
        if (folders.verdict == FolderVerdict::NotCreatable)
            return Fail(WorkFolderUnavailable, ManifestFault::WorkFolderNotCreatable, folders.folder);
        ManifestLoadReport report = Fail(WorkFolderUntrusted, ManifestFault::WorkFolderUntrusted, folders.folder);
        report.detail = DescribeFolderVerdict(folders.verdict);
        return report;
    }

    config.loaded = 1;
    return ManifestLoadReport{};
}

int32_t LoadManifest(InstallerConfig& config, InstalledFlags flags, ManifestLoadReport* report)
{
    config.moduleFolder.clear();
    const std::wstring modulePath = CurrentModulePath();
    ManifestLoadReport result = modulePath.empty() ? Fail(ModulePathUnavailable, ManifestFault::ModulePathUnavailable)
                                : LoadManifestFor(config, flags, modulePath);
    const int32_t status = result.status;
    if (report)
        *report = std::move(result);
    return status;
}

int32_t LoadManifest()
{
    return LoadManifest(theConfig, AppInstalledFlags());
}

std::wstring DescribeManifestFault(const InstallerConfig& config, const ManifestLoadReport& report)
{
    // A load that stopped early has not set the language folder yet; the texts
    // still come from the one beside the executable.
    LanguageResources texts = config.languages;
    if (texts.languageFolder.empty() && !config.moduleFolder.empty())
        texts.languageFolder = config.moduleFolder + L"\\language\\";
    switch (report.fault) {
    case ManifestFault::None:
        return {};
    case ManifestFault::ModulePathUnavailable:
        return texts.GetUiString(IDS_ERR_MODULE_PATH);
    case ManifestFault::FileMissing:
        return FormatWithTexts(texts.GetUiString(IDS_ERR_MANIFEST_MISSING), {config.manifestPath},
                               IDS_ERR_MANIFEST_MISSING.defaultText);
    case ManifestFault::NotWellFormed:
        return FormatWithTexts(texts.GetUiString(IDS_ERR_MANIFEST_MALFORMED), {config.manifestPath},
                               IDS_ERR_MANIFEST_MALFORMED.defaultText);
    case ManifestFault::RequiredFieldMissing:
        return FormatWithTexts(texts.GetUiString(IDS_ERR_MANIFEST_INCOMPLETE), {config.manifestPath, report.subject},
                               IDS_ERR_MANIFEST_INCOMPLETE.defaultText);
    case ManifestFault::WorkFolderNotCreatable:
        return FormatWithTexts(texts.GetUiString(IDS_ERR_WORK_FOLDER), {config.manifestPath, report.subject},
                               IDS_ERR_WORK_FOLDER.defaultText);
    case ManifestFault::WorkFolderUntrusted:
        return FormatWithTexts(texts.GetUiString(IDS_ERR_WORK_FOLDER_UNTRUSTED), {report.subject, report.detail},
                               IDS_ERR_WORK_FOLDER_UNTRUSTED.defaultText);
    case ManifestFault::UnsafeValue:
        return FormatWithTexts(texts.GetUiString(IDS_ERR_MANIFEST_UNSAFE),
                               {config.manifestPath, report.subject, report.detail},
                               IDS_ERR_MANIFEST_UNSAFE.defaultText);
    }
    return {};
}

ExitCode ExitCodeForManifestFault(ManifestFault fault) noexcept
{
    return fault == ManifestFault::WorkFolderUntrusted ? ExitCode::UntrustedWorkFolder : ExitCode::BadManifest;
}

bool FindUnsafeManifestValue(const ProductManifest& manifest, std::wstring& element, std::wstring& why)
{
    auto notPlain = [&](const wchar_t* path, const std::wstring& value) {
        if (IsPlainFileName(value))
            return false;
        element = path;
        why = L"\"" + value + L"\" is not a plain file name";
        return true;
    };
    auto unverifiable = [&](const wchar_t* path, const std::wstring& name, const std::wstring& url,
                            const std::wstring& sha256, const std::wstring& publisher) {
        if (manifest.standalone == 1 || url.empty())
            return false;
        std::wstring reason = WhyUnverifiable(url, sha256, publisher);
        if (reason.empty())
            return false;
        element = path;
        why = L"the package " + name + L": " + reason;
        return true;
    };
    // The product's folder under program data and the newer client's file are named after these.
    if (notPlain(L"kelmwebinstaller/product/main_component/name", manifest.mainComponent.name))
        return true;
    if (manifest.standalone != 1 && (notPlain(L"kelmwebinstaller/product/pid", manifest.pid) ||
                                     notPlain(L"kelmwebinstaller/product/full_name", manifest.full_name)))
        return true;
    // A mirror is never weaker than its address: of an HTTPS address only an
    // HTTPS mirror (else breaking the TLS of the address would fall back to
    // plain HTTP, and to an older file its publisher once signed).
    auto weakerMirror = [&](const wchar_t* mirrorPath, const std::wstring& url, const std::vector<std::wstring>& mirrors) {
        if (manifest.standalone == 1 || OriginOf(url) != PackageOrigin::Https)
            return false;
        for (const std::wstring& mirror : mirrors) {
            if (OriginOf(mirror) != PackageOrigin::Https) {
                element = mirrorPath;
                why = L"\"" + mirror + L"\" is not HTTPS, as the address it stands for is";
                return true;
            }
        }
        return false;
    };
    if (weakerMirror(L"kelmwebinstaller/product/mirror_url", manifest.version_check_url, manifest.version_check_mirrors))
        return true;
    // An address and each of its mirrors must vouch for the package the same way.
    auto anyUnverifiable = [&](const wchar_t* path, const wchar_t* mirrorPath, const std::wstring& name,
                               const std::wstring& url, const std::vector<std::wstring>& mirrors,
                               const std::wstring& sha256, const std::wstring& publisher) {
        if (unverifiable(path, name, url, sha256, publisher) || weakerMirror(mirrorPath, url, mirrors))
            return true;
        for (const std::wstring& mirror : mirrors)
            if (unverifiable(mirrorPath, name, mirror, sha256, publisher))
                return true;
        return false;
    };
    for (const DependencyInfo& dependency : manifest.dependencies) {
        if (notPlain(L"kelmwebinstaller/product/dependency/name", dependency.name) ||
            anyUnverifiable(L"kelmwebinstaller/product/dependency", L"kelmwebinstaller/product/dependency/mirror_url",
                            dependency.name, dependency.full_url, dependency.mirrors, dependency.sha256,
                            dependency.publisher))
            return true;
    }
    const ComponentInfo& main = manifest.mainComponent;
    return anyUnverifiable(L"kelmwebinstaller/product/main_component/full_url",
                           L"kelmwebinstaller/product/main_component/mirror_url", main.name, main.full_url,
                           main.full_mirrors, main.full_sha256, main.publisher) ||
           anyUnverifiable(L"kelmwebinstaller/product/main_component/patch_url",
                           L"kelmwebinstaller/product/main_component/mirror_url", main.name, main.patch_url,
                           main.patch_mirrors, main.patch_sha256, main.publisher);
}

void InitLanguages(InstallerConfig& config)
{
    config.languages.languageFolder = config.moduleFolder + L"\\language\\";
    config.languages.langId = LanguageResources::kDefaultLangId;
}

bool ReadRegisteredManifestPath(std::wstring& path)
{
    RegistryKey key(HKEY_CURRENT_USER, kRegisteredManifestKey);
    path = key.QueryString(L"WebInstallerManifest").value_or(std::wstring());
    return !path.empty() && ::PathFileExistsW(path.c_str());
}

AdminFolderCheck PrepareWorkFolders(InstallerConfig& config)
{
    if (config.manifest.standalone == 1) {
        // The packages lie beside the installer, with the manifest that vouches for them.
        config.workFolder.clear();
        config.componentFolder = config.moduleFolder + L"\\component\\";
        config.msiFolder = config.moduleFolder + L"\\msi\\";
        if (FolderExists(config.msiFolder) || CreateFolderTree(config.msiFolder))
            return AdminFolderCheck{FolderVerdict::Fine, config.msiFolder, 0};
        return AdminFolderCheck{FolderVerdict::NotCreatable, config.msiFolder, ::GetLastError()};
    }
    const std::wstring base = ProgramDataFolder();
    // Kelmware may be shared with the vendor's other programs: it is checked,
    // not changed; the folders from "Web Installer" down are the installer's own.
    const std::vector<std::wstring> product = {L"Kelmware", L"Web Installer", config.manifest.pid};
    constexpr size_t kOwnFrom = 1;
    config.workFolder = base + L"\\" + product[0] + L"\\" + product[1] + L"\\" + product[2] + L"\\";
    config.componentFolder = config.workFolder + L"component\\";
    config.msiFolder = config.workFolder + L"msi\\";
    for (const wchar_t* sub : {L"component", L"msi"}) {
        std::vector<std::wstring> levels = product;
        levels.push_back(sub);
        AdminFolderCheck check = PrepareAdminOnlyFolder(base, levels, kOwnFrom);
        if (!check.Passed())
            return check;
    }
    return AdminFolderCheck{FolderVerdict::Fine, config.workFolder, 0};
}

std::wstring MakeDownloadPath(const InstallerConfig& config, const std::wstring& fileName)
{
    if (config.manifest.standalone == 1)
        return config.componentFolder + fileName;
    // Signed, as the tick count has always been written here.
    const int32_t ticks = static_cast<int32_t>(::GetTickCount());
    return config.componentFolder + std::to_wstring(ticks) + fileName;
}

std::wstring MakeDownloadPath(const std::wstring& fileName)
{
    return MakeDownloadPath(theConfig, fileName);
}

std::wstring GetProductExePath(InstallerConfig& config)
{
    std::wstring& folder = config.installFolder;
    folder.push_back(L'\0');
    ::PathRemoveBackslashW(folder.data());
    folder.resize(wcslen(folder.c_str()));
    return folder + L"\\" + config.manifest.executable;
}

std::wstring GetProductExePath()
{
    return GetProductExePath(theConfig);
}

} // namespace kelm
