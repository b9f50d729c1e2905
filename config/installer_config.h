#pragma once
// The process-wide configuration: the installer manifest of the one product
// this client installs, and what is derived from the run environment (the
// executable's folder, work folders, installation folder, installed product,
// user-interface language).

#include <cstdint>
#include <string>
#include <vector>

#include "config/installed_flags.h"
#include "config/installed_product.h"
#include "config/ui_strings.h"
#include "runlog/run_outcome.h"
#include "trust/admin_folder.h"

namespace kelm {

struct ComponentInfo {
    std::wstring name;      // saved as msiFolder + name
    std::wstring full_url;  // full package
    std::vector<std::wstring> full_mirrors; // the same file on other hosts ("mirror_url"), in order
    std::wstring patch_url; // update package, used for an installed product when not empty
    std::vector<std::wstring> patch_mirrors;
    // What each package must be: its size in bytes and its SHA-256 (64
    // hexadecimal digits), as the manifest gives them; empty when not given.
    std::wstring full_size;
    std::wstring full_sha256;
    std::wstring patch_size;
    std::wstring patch_sha256;
    // The common name of the signer whose Authenticode signature the package
    // must carry; empty when the manifest names none.
    std::wstring publisher;
};

struct TransformInfo {
    int32_t lang_id = 0;
    std::wstring name;
    std::wstring full_url;
};

struct LanguagePackInfo {
    int32_t lang_id = 0;
    std::wstring pid;
    std::wstring name;
    std::wstring full_url;
};

struct DependencyInfo {
    std::wstring name; // saved under the component folder (MakeDownloadPath)
    std::wstring full_url;
    std::wstring install_commandline;
    std::wstring size;   // bytes, as the manifest gives them; empty when not given
    std::wstring sha256; // 64 hexadecimal digits; empty when not given
    std::wstring publisher = {}; // the signer's common name; empty when not given
    std::vector<std::wstring> mirrors = {}; // full_url's file on other hosts ("mirror_url"), in order
};

// Filled from the version descriptor.
struct ReleaseInfo {
    std::wstring product_version;
    std::wstring min_web_installer_version;
    std::wstring web_installer_download_url;
    std::wstring web_installer_sha256; // of the client at that address; empty when not given
};

// Field names follow the manifest's element names.
struct ProductManifest {
    std::wstring web_installer_version;
    std::wstring product_code;
    std::wstring upgrade_code;
    std::wstring pid;
    std::wstring full_name;
    std::wstring short_name;
    std::wstring registry;      // key under HKEY_LOCAL_MACHINE, no leading backslash
    std::wstring prev_registry; // the previous version's key
    int32_t standalone = 0;     // 1: offline package, no version descriptor
    std::wstring targetVersion; // "standalone_version", replaced by the descriptor's update version
    std::wstring version_check_url;
    std::vector<std::wstring> version_check_mirrors;
    std::wstring descriptorProductCode;
    ReleaseInfo freshRelease;
    ReleaseInfo patchRelease;
    ComponentInfo mainComponent;
    std::vector<LanguagePackInfo> languagePacks;
    std::vector<DependencyInfo> dependencies;
    std::vector<TransformInfo> transforms;
    std::wstring executable; // relative to the installation folder
};

struct InstallerConfig {
    int32_t loaded = 0; // 1 after LoadManifest completed every step
    std::wstring moduleFolder; // without trailing backslash
    ProductManifest manifest;
    InstalledProductInfo installedProduct;
    std::wstring manifestPath; // the manifest file read last
    // The product's folder under the machine's program data, which only
    // administrators can write (with trailing backslash): downloads, partial
    // files, the descriptor and newer clients live there. Empty for a
    // standalone run, whose packages lie beside the installer.
    std::wstring workFolder;
    std::wstring componentFolder; // with trailing backslash
    std::wstring msiFolder;       // with trailing backslash
    std::wstring homepageUrl;
    LanguageResources languages;
    std::wstring installFolder = L"C:\\Program Files\\Kelmware";

    InstallerConfig() = default;
    InstallerConfig(const InstallerConfig&) = delete;
    InstallerConfig& operator=(const InstallerConfig&) = delete;
};

extern InstallerConfig theConfig;

enum ManifestLoadStatus : int32_t {
    ManifestLoaded = 0,
    ManifestUnusable = 1,       // missing, not well-formed, or a required field missing
    WorkFolderUnavailable = 2,
    ModulePathUnavailable = 3,
    WorkFolderUntrusted = 4,    // somebody but the administrators could change a work folder
    ManifestUnsafe = 5,         // a value the installer must not use as it stands
};

// What exactly went wrong, so that start-up can say it.
enum class ManifestFault {
    None,
    ModulePathUnavailable,
    FileMissing,          // manifestPath cannot be found
    NotWellFormed,        // manifestPath is not a well-formed document
    RequiredFieldMissing, // `subject` names the element
    WorkFolderNotCreatable, // `subject` names the folder
    WorkFolderUntrusted,    // `subject` names the folder, `detail` why
    UnsafeValue,            // `subject` names the element, `detail` why
};

struct ManifestLoadReport {
    int32_t status = ManifestLoaded;
    ManifestFault fault = ManifestFault::None;
    std::wstring subject;
    std::wstring detail = {};
};

// Reads the manifest lying in modulePath's folder (or the registered one that
// replaces it), prepares the languages, detects an installed product and creates
// the work folders. Shows nothing.
ManifestLoadReport LoadManifestFor(InstallerConfig& config, InstalledFlags flags, const std::wstring& modulePath);
// The same for the running executable; the status as a number (0 to 5).
int32_t LoadManifest(InstallerConfig& config, InstalledFlags flags, ManifestLoadReport* report = nullptr);
int32_t LoadManifest(); // theConfig and the application's flags

// The message for a failed load, in the current language.
std::wstring DescribeManifestFault(const InstallerConfig& config, const ManifestLoadReport& report);
// The run's exit code for a failed load.
ExitCode ExitCodeForManifestFault(ManifestFault fault) noexcept;

// The first value of the manifest the installer must not use as it stands: a
// file name that is not a plain name, or a package that nothing could show to
// be the vendor's (plain HTTP with neither a SHA-256 nor a publisher). Fills
// element and why; false when there is none.
bool FindUnsafeManifestValue(const ProductManifest& manifest, std::wstring& element, std::wstring& why);

// Reads the manifest file at `path` into `target` along the forward-only
// sequence of the manifest's schema. False only when the file cannot be loaded
// as a well-formed document; the target is then untouched.
bool ParseManifest(const std::wstring& path, ProductManifest& target);

// The language folder beside the executable (moduleFolder + "\language\") and
// language 2052; product detection may change the language afterwards.
void InitLanguages(InstallerConfig& config);

// The value "WebInstallerManifest" under HKCU\SOFTWARE\Kelmware\Zunder Pro\080
// (the key is created when missing); true when it names an existing file. The
// manifest load takes that file only when only administrators can change it
// (CheckAdminOnlyFile); otherwise it logs why and reads the one beside the installer.
bool ReadRegisteredManifestPath(std::wstring& path);

// Sets the work folders and creates them. A standalone run reads its packages
// from component\ and msi\ beside the installer (msi\ is created when missing);
// any other run works in the product's folder under the machine's program data,
// "Kelmware\Web Installer\<pid>\" with component\ and msi\ in it, made and
// checked so that only administrators can write it.
AdminFolderCheck PrepareWorkFolders(InstallerConfig& config);

// Local file for a download: componentFolder + [tick count, unless standalone] + fileName.
std::wstring MakeDownloadPath(const InstallerConfig& config, const std::wstring& fileName);
std::wstring MakeDownloadPath(const std::wstring& fileName); // theConfig

// installFolder (its trailing backslash removed for good) + "\" + executable.
std::wstring GetProductExePath(InstallerConfig& config);
std::wstring GetProductExePath(); // theConfig

} // namespace kelm
