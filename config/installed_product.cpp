#include "config/installed_product.h"

#include <windows.h>
#include <msi.h>
#include <shlwapi.h>

#include <optional>
#include <vector>

#include "config/installer_config.h"
#include "config/registry_key.h"

namespace kelm {

namespace {

constexpr DWORD kPropertyBufferChars = 260;

// One product property. A value longer than the usual 260-character buffer is
// read again with the size the Windows Installer asks for, so that a deep
// installation folder does not make an installed product look absent.
std::optional<std::wstring> QueryProductProperty(const std::wstring& productCode, const wchar_t* property)
{
    std::vector<wchar_t> buffer(kPropertyBufferChars, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = static_cast<DWORD>(buffer.size());
        const UINT result = ::MsiGetProductInfoW(productCode.c_str(), property, buffer.data(), &length);
        if (result == ERROR_SUCCESS)
            return std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
        if (result != ERROR_MORE_DATA)
            return std::nullopt;
        buffer.assign(static_cast<size_t>(length) + 1, L'\0');
    }
    return std::nullopt;
}

bool IsFound(const InstalledProductInfo& product)
{
    return !product.VersionString.empty() || !product.InstalledProductName.empty();
}

// The installed product's user-interface language, unless it is 1033. The
// "LanguagePacks" key is created when missing.
void TakeInstalledLanguage(InstallerConfig& config, const std::wstring& productKey)
{
    if (productKey.empty())
        return; // no key to look under; never create "\LanguagePacks" at the root
    RegistryKey languagePacks(HKEY_LOCAL_MACHINE, productKey + L"\\LanguagePacks");
    const int32_t langId = languagePacks.QueryInitialLangId();
    if (langId != RegistryKey::kDefaultLangId)
        config.languages.langId = langId;
}

} // namespace

InstalledProductInfo QueryProductByCode(const std::wstring& productCode)
{
    if (productCode.empty())
        return {};
    InstalledProductInfo product;
    const auto version = QueryProductProperty(productCode, INSTALLPROPERTY_VERSIONSTRING);
    if (!version)
        return {};
    const auto name = QueryProductProperty(productCode, INSTALLPROPERTY_INSTALLEDPRODUCTNAME);
    if (!name)
        return {};
    const auto location = QueryProductProperty(productCode, INSTALLPROPERTY_INSTALLLOCATION);
    if (!location)
        return {};
    return InstalledProductInfo{*version, *name, *location};
}

InstalledProductInfo QueryProductByUpgradeCode(const std::wstring& upgradeCode)
{
    if (upgradeCode.empty())
        return {};
    wchar_t productCode[kPropertyBufferChars] = {};
    if (::MsiEnumRelatedProductsW(upgradeCode.c_str(), 0, 0, productCode) != ERROR_SUCCESS)
        return {};
    return QueryProductByCode(productCode);
}

void DetectInstalledProduct(InstallerConfig& config, InstalledFlags flags)
{
    config.installedProduct = QueryProductByCode(config.manifest.product_code);
    if (IsFound(config.installedProduct)) {
        flags.productInstalled = 1;
        config.installFolder = config.installedProduct.InstallLocation;
        TakeInstalledLanguage(config, config.manifest.registry);
        return;
    }
    config.installedProduct = QueryProductByUpgradeCode(config.manifest.upgrade_code);
    if (IsFound(config.installedProduct)) {
        flags.relatedProductInstalled = 1;
        config.installFolder = config.installedProduct.InstallLocation;
        TakeInstalledLanguage(config, config.manifest.prev_registry);
    }
}

void DetectInstalledProduct()
{
    DetectInstalledProduct(theConfig, AppInstalledFlags());
}

std::wstring GetInstalledExePath(const InstallerConfig& config, bool productInstalled, bool relatedProductInstalled)
{
    if (!productInstalled && !relatedProductInstalled)
        return {};
    const std::wstring& productKey = productInstalled ? config.manifest.registry : config.manifest.prev_registry;
    if (productKey.empty())
        return {};
    RegistryKey key(HKEY_LOCAL_MACHINE, productKey);
    const std::wstring exePath = key.QueryString(L"exe").value_or(std::wstring());
    key.Close();
    if (exePath.empty() || !::PathFileExistsW(exePath.c_str()))
        return {};
    return exePath;
}

std::wstring GetInstalledExePath()
{
    const InstalledFlags flags = AppInstalledFlags();
    return GetInstalledExePath(theConfig, flags.productInstalled != 0, flags.relatedProductInstalled != 0);
}

} // namespace kelm
