#include "config/version_check.h"

#include <cwchar>
#include <vector>

#include "config/decimal.h"
#include "config/installer_config.h"

namespace kelm {

ProductVersion ParseProductVersion(const std::wstring& text)
{
    if (text.size() < 7)
        return {};
    // Empty parts (leading dots, runs of dots) are skipped, as a tokenizer does.
    std::vector<uint32_t> parts;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t dot = text.find(L'.', pos);
        const size_t end = dot == std::wstring::npos ? text.size() : dot;
        if (end > pos)
            parts.push_back(static_cast<uint32_t>(ParseLeadingInt32(std::wstring_view(text).substr(pos, end - pos))));
        pos = end + 1;
    }
    if (parts.size() != 4)
        return {};
    ProductVersion version;
    version.major = parts[0];
    version.minor = parts[1];
    version.build = parts[2];
    version.revision = parts[3];
    return version;
}

bool IsNewerVersion(const std::wstring& a, const std::wstring& b)
{
    const ProductVersion left = ParseProductVersion(a);
    const ProductVersion right = ParseProductVersion(b);
    if (left.major != right.major)
        return left.major > right.major;
    if (left.minor != right.minor)
        return left.minor > right.minor;
    // The build (third component) takes no part.
    return left.revision > right.revision;
}

VersionCheckResult EvaluateVersionCheck(const InstallerConfig& config, bool productInstalled,
                                        bool relatedProductInstalled)
{
    const ProductManifest& manifest = config.manifest;
    if (productInstalled || relatedProductInstalled) {
        const InstalledProductInfo& installed = config.installedProduct;
        if (installed.VersionString.empty() && installed.InstalledProductName.empty())
            return NoInstalledInfo;
        if (_wcsicmp(installed.InstalledProductName.c_str(), manifest.full_name.c_str()) != 0)
            return OtherProductInstalled;
        if (!IsNewerVersion(manifest.targetVersion, installed.VersionString))
            return AlreadyInstalled;
        if (manifest.standalone == 1)
            return Proceed;
        return IsNewerVersion(manifest.patchRelease.min_web_installer_version, manifest.web_installer_version)
                   ? ClientTooOld
                   : Proceed;
    }
    if (manifest.standalone == 1)
        return Proceed;
    return IsNewerVersion(manifest.freshRelease.min_web_installer_version, manifest.web_installer_version)
               ? ClientTooOld
               : Proceed;
}

VersionCheckResult EvaluateVersionCheck()
{
    const InstalledFlags flags = AppInstalledFlags();
    return EvaluateVersionCheck(theConfig, flags.productInstalled != 0, flags.relatedProductInstalled != 0);
}

const wchar_t* DescribeVersionCheck(int32_t result) noexcept
{
    switch (result) {
    case Proceed:
        return L"go on with the installation";
    case AlreadyInstalled:
        return L"the product is already installed and up to date";
    case ClientTooOld:
        return L"this installer client is too old";
    case NoInstalledInfo:
        return L"a product is installed, but neither its version nor its name is known";
    case DescriptorUnavailable:
        return L"the version descriptor could not be fetched or read";
    case OtherProductInstalled:
        return L"another product is installed under the same codes";
    default:
        return L"unknown decision";
    }
}

ExitCode ExitCodeForVersionCheck(int32_t result) noexcept
{
    switch (result) {
    case Proceed:
    case AlreadyInstalled:
        return ExitCode::Installed;
    case ClientTooOld:
        return ExitCode::ClientTooOld;
    case DescriptorUnavailable:
        return ExitCode::ServerUnreachable;
    case OtherProductInstalled:
        return ExitCode::OtherVersionInstalled;
    default:
        return ExitCode::InstallFailed;
    }
}

} // namespace kelm
