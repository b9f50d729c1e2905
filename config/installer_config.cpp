#include "config/installer_config.h"

#include "config/localised_format.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "config/registry_key.h"

namespace kelm {

namespace {

constexpr wchar_t kRegisteredManifestKey[] = L"SOFTWARE\\Kelmware\\Zunder Pro\\080";

// The executable's full path; empty when the system cannot give it. A buffer that
// turns out too small grows instead of yielding a cut path.
std::wstring CurrentModulePath()
{
    std::vector<wchar_t> buffer(512);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

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
    return ManifestLoadReport{status, fault, std::move(subject)};
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
        if (ReadRegisteredManifestPath(registeredPath)) {
            config.manifestPath = registeredPath;
            ProductManifest registered;
            if (!ParseManifest(config.manifestPath, registered))
                return Fail(ManifestUnusable, UnreadableFault(config.manifestPath), config.manifestPath);
            // Whole replacement: nothing of the local manifest survives.
            config.manifest = std::move(registered);
        }
    }

    if (const wchar_t* missing = MissingRequiredElement(config.manifest))
        return Fail(ManifestUnusable, ManifestFault::RequiredFieldMissing, missing);

    InitLanguages(config);
    DetectInstalledProduct(config, flags);

    if (!PrepareWorkFolders(config)) {
        const bool componentMissing = config.manifest.standalone != 1 && !FolderExists(config.componentFolder);
        return Fail(WorkFolderUnavailable, ManifestFault::WorkFolderNotCreatable,
                    componentMissing ? config.componentFolder : config.msiFolder);
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
    }
    return {};
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

bool PrepareWorkFolders(InstallerConfig& config)
{
    config.componentFolder = config.moduleFolder + L"\\component\\";
    config.msiFolder = config.moduleFolder + L"\\msi\\";
    if (config.manifest.standalone != 1) {
        // Drops a component folder left empty by an earlier run; one with files stays.
        if (FolderExists(config.componentFolder))
            ::RemoveDirectoryW(config.componentFolder.c_str());
        if (!FolderExists(config.componentFolder) && !CreateFolderTree(config.componentFolder))
            return false;
    }
    return FolderExists(config.msiFolder) || CreateFolderTree(config.msiFolder);
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
