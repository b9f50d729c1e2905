// Reading the installer manifest. Every search of the XML reader moves forward
// only, so the elements of one parent must stand in the order read here: an
// element placed before one already read at its level is not found.

#include <cwchar>

#include "config/decimal.h"
#include "config/installer_config.h"
#include "config/installer_xml.h"

namespace kelm {

namespace {

void ReadChildText(CXmlDocument& document, const wchar_t* name, std::wstring& field)
{
    if (document.FindChildElement(name))
        field = document.GetChildElementText();
}

void ReadSiblingText(CXmlDocument& document, const wchar_t* name, std::wstring& field)
{
    if (document.FindElement(name))
        field = document.GetElementText();
}

// The "mirror_url" elements right after an address: the same file on other hosts.
void ReadMirrors(CXmlDocument& document, std::vector<std::wstring>& mirrors)
{
    while (document.FindNextElement(L"mirror_url"))
        mirrors.push_back(document.GetElementText());
}

// The address element and its mirrors: nothing when the address is absent.
void ReadAddress(CXmlDocument& document, const wchar_t* name, std::wstring& url, std::vector<std::wstring>& mirrors)
{
    if (!document.FindElement(name))
        return;
    url = document.GetElementText();
    ReadMirrors(document, mirrors);
}

void ReadMainComponent(CXmlDocument& document, ProductManifest& target)
{
    if (!document.FindElement(L"main_component") || !document.FindChildElement(L"name"))
        return;
    document.EnterElement();
    target.mainComponent.name = document.GetElementText();
    ReadSiblingText(document, L"executable", target.executable);
    ReadAddress(document, L"full_url", target.mainComponent.full_url, target.mainComponent.full_mirrors);
    ReadAddress(document, L"patch_url", target.mainComponent.patch_url, target.mainComponent.patch_mirrors);
    while (document.FindElement(L"transform")) {
        if (!document.FindChildElement(L"lang_id"))
            continue; // a transform without lang_id is dropped
        document.EnterElement();
        TransformInfo transform;
        transform.lang_id = ParseLeadingInt32(document.GetElementText());
        ReadSiblingText(document, L"name", transform.name);
        ReadSiblingText(document, L"full_url", transform.full_url);
        document.LeaveElement();
        target.transforms.push_back(std::move(transform));
    }
    ReadSiblingText(document, L"full_size", target.mainComponent.full_size);
    ReadSiblingText(document, L"full_sha256", target.mainComponent.full_sha256);
    ReadSiblingText(document, L"patch_size", target.mainComponent.patch_size);
    ReadSiblingText(document, L"patch_sha256", target.mainComponent.patch_sha256);
    ReadSiblingText(document, L"publisher", target.mainComponent.publisher);
    document.LeaveElement();
}

void ReadLanguagePacks(CXmlDocument& document, ProductManifest& target)
{
    while (document.FindElement(L"language_pack")) {
        if (!document.FindChildElement(L"lang_id"))
            continue;
        document.EnterElement();
        LanguagePackInfo pack;
        pack.lang_id = ParseLeadingInt32(document.GetElementText());
        ReadSiblingText(document, L"pid", pack.pid);
        ReadSiblingText(document, L"name", pack.name);
        ReadSiblingText(document, L"full_url", pack.full_url);
        document.LeaveElement();
        target.languagePacks.push_back(std::move(pack));
    }
}

void ReadDependencies(CXmlDocument& document, ProductManifest& target)
{
    while (document.FindElement(L"dependency")) {
        if (!document.FindChildElement(L"name"))
            continue;
        document.EnterElement();
        DependencyInfo dependency;
        dependency.name = document.GetElementText();
        ReadAddress(document, L"full_url", dependency.full_url, dependency.mirrors);
        ReadSiblingText(document, L"install_commandline", dependency.install_commandline);
        ReadSiblingText(document, L"size", dependency.size);
        ReadSiblingText(document, L"sha256", dependency.sha256);
        ReadSiblingText(document, L"publisher", dependency.publisher);
        document.LeaveElement();
        target.dependencies.push_back(std::move(dependency));
    }
}

} // namespace

bool ParseManifest(const std::wstring& path, ProductManifest& target)
{
    CXmlDocument document;
    const InstallerXmlOpening opened = OpenInstallerXml(document, path);
    if (opened != InstallerXmlOpening::AtRoot)
        return opened == InstallerXmlOpening::OtherRoot;

    ReadChildText(document, L"web_installer_version", target.web_installer_version);
    ReadChildText(document, L"product_code", target.product_code);
    ReadChildText(document, L"upgrade_code", target.upgrade_code);

    if (!document.FindChildElement(L"product"))
        return true;
    document.EnterElement();
    ReadChildText(document, L"pid", target.pid);
    ReadChildText(document, L"full_name", target.full_name);
    ReadChildText(document, L"short_name", target.short_name);
    ReadChildText(document, L"registry", target.registry);
    ReadChildText(document, L"prev_registry", target.prev_registry);
    if (document.FindChildElement(L"standalone"))
        target.standalone = _wcsicmp(document.GetChildElementText().c_str(), L"true") == 0 ? 1 : 0;
    ReadChildText(document, L"standalone_version", target.targetVersion);
    ReadChildText(document, L"version_check_url", target.version_check_url);
    if (!target.version_check_url.empty())
        while (document.FindNextChildElement(L"mirror_url"))
            target.version_check_mirrors.push_back(document.GetChildElementText());
    // The last child read becomes current, so the searches below start after it
    // (at the first child of product when none was read).
    document.EnterElement();

    ReadMainComponent(document, target);
    ReadLanguagePacks(document, target);
    ReadDependencies(document, target);
    return true;
}

} // namespace kelm
