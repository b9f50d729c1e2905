// Reading the server's version descriptor into the manifest's release records.

#include <shlwapi.h>

#include "config/installer_config.h"
#include "config/installer_xml.h"
#include "config/version_check.h"
#include "runlog/run_log.h"

namespace kelm {

namespace {

// The product version goes into `versionCopy` as well when one is given.
void ReadRelease(CXmlDocument& document, ReleaseInfo& release, std::wstring* versionCopy = nullptr)
{
    if (document.FindChildElement(L"product_version")) {
        release.product_version = document.GetChildElementText();
        if (versionCopy)
            *versionCopy = release.product_version;
    }
    if (document.FindChildElement(L"min_web_installer_version"))
        release.min_web_installer_version = document.GetChildElementText();
    if (document.FindChildElement(L"web_installer_download_url"))
        release.web_installer_download_url = document.GetChildElementText();
    if (document.FindChildElement(L"web_installer_sha256"))
        release.web_installer_sha256 = document.GetChildElementText();
}

} // namespace

namespace {

bool ReadDescriptor(InstallerConfig& config, CXmlDocument& document, InstallerXmlOpening opened,
                    const std::wstring& source)
{
    if (opened == InstallerXmlOpening::Unreadable) {
        Log(L"version descriptor ", source, L": not readable as XML");
        return false;
    }
    // A captive portal's or a proxy's page may be well-formed XML with another root.
    if (opened == InstallerXmlOpening::OtherRoot) {
        Log(L"version descriptor ", source, L": the root element is not kelmwebinstaller");
        return false;
    }

    ProductManifest& manifest = config.manifest;
    if (document.FindChildElement(L"product_code"))
        manifest.descriptorProductCode = document.GetChildElementText();
    // The product code, when found, becomes current: the searches below start after it.
    document.EnterElement();

    if (document.FindElement(L"fresh_install"))
        ReadRelease(document, manifest.freshRelease);
    if (document.FindElement(L"patch_install"))
        ReadRelease(document, manifest.patchRelease, &manifest.targetVersion);
    Log(L"version descriptor read: first installation ", manifest.freshRelease.product_version, L" (client at least ",
        manifest.freshRelease.min_web_installer_version, L"), update ", manifest.patchRelease.product_version,
        L" (client at least ", manifest.patchRelease.min_web_installer_version, L")");
    return true;
}

} // namespace

bool LoadVersionDescriptor(InstallerConfig& config, const std::wstring& path)
{
    if (path.empty() || !::PathFileExistsW(path.c_str()))
        return false;
    CXmlDocument document;
    const InstallerXmlOpening opened = OpenInstallerXml(document, path);
    return ReadDescriptor(config, document, opened, path);
}

bool LoadVersionDescriptorBytes(InstallerConfig& config, const std::string& bytes, const std::wstring& source)
{
    if (bytes.size() > kMaxDescriptorSize) {
        Log(L"version descriptor ", source, L": ", bytes.size(), L" bytes, more than a descriptor may have");
        return false;
    }
    CXmlDocument document;
    const InstallerXmlOpening opened = OpenInstallerXmlBytes(document, bytes);
    return ReadDescriptor(config, document, opened, source);
}

bool LoadVersionDescriptor(const std::wstring& path)
{
    return LoadVersionDescriptor(theConfig, path);
}

} // namespace kelm
