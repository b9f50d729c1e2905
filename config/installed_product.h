#pragma once
// Whether the product is already installed, found through the Windows Installer
// by the manifest's ProductCode or, failing that, by its UpgradeCode.

#include <string>

#include "config/installed_flags.h"

namespace kelm {

struct InstallerConfig;

// Named after the Windows Installer properties they come from. Either all three
// are filled or all three are empty.
struct InstalledProductInfo {
    std::wstring VersionString;
    std::wstring InstalledProductName;
    std::wstring InstallLocation;

    bool IsEmpty() const noexcept
    {
        return VersionString.empty() && InstalledProductName.empty() && InstallLocation.empty();
    }
    bool operator==(const InstalledProductInfo&) const = default;
};

// The product's version, name and location; an empty record when the Windows
// Installer does not know the product or cannot answer any of the three.
InstalledProductInfo QueryProductByCode(const std::wstring& productCode);
// The same for the first product the Windows Installer relates to the UpgradeCode.
InstalledProductInfo QueryProductByUpgradeCode(const std::wstring& upgradeCode);

// Fills config.installedProduct and sets at most one of the two flags. A product
// found takes over config.installFolder (even an empty location) and, through
// "InitialLangID" under its registry key + "\LanguagePacks" (created when
// missing), the language id unless that is 1033.
void DetectInstalledProduct(InstallerConfig& config, InstalledFlags flags);
void DetectInstalledProduct(); // theConfig and the application's flags

// The "exe" value under the installed product's registry key (the previous
// version's key when only a related product is installed), when that file
// exists; otherwise empty.
std::wstring GetInstalledExePath(const InstallerConfig& config, bool productInstalled,
                                 bool relatedProductInstalled);
std::wstring GetInstalledExePath(); // theConfig and the application's flags

} // namespace kelm
