#include "support/msi_products.h"

#include <msi.h>

namespace kelm::test {
namespace {

int WINAPI CollectInformation(LPVOID context, UINT messageType, LPCWSTR message)
{
    if (message != nullptr && (messageType & 0xFF000000) == INSTALLMESSAGE_INFO)
        static_cast<std::vector<std::wstring>*>(context)->emplace_back(message);
    return 0; // the installer goes on handling the message itself
}

} // namespace

bool IsProductInstalled(const std::wstring& productCode)
{
    return ::MsiQueryProductStateW(productCode.c_str()) == INSTALLSTATE_DEFAULT;
}

UINT InstallPackage(const std::wstring& packagePath, const std::wstring& properties,
                    std::vector<std::wstring>* informationMessages)
{
    ::MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    ::MsiSetExternalUIW(informationMessages != nullptr ? CollectInformation : nullptr,
                        informationMessages != nullptr ? INSTALLLOGMODE_INFO : 0, informationMessages);
    const UINT result = ::MsiInstallProductW(packagePath.c_str(), properties.c_str());
    ::MsiSetExternalUIW(nullptr, 0, nullptr);
    return result;
}

UINT RemoveProduct(const std::wstring& productCode)
{
    ::MsiSetExternalUIW(nullptr, 0, nullptr);
    ::MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    // Known in any state (also half-installed by an interrupted run): removed.
    if (::MsiQueryProductStateW(productCode.c_str()) == INSTALLSTATE_UNKNOWN)
        return ERROR_SUCCESS;
    return ::MsiConfigureProductW(productCode.c_str(), INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
}

InstalledPackage::InstalledPackage(const std::wstring& packagePath, std::wstring productCode,
                                   const std::wstring& properties, std::vector<std::wstring>* informationMessages)
    : m_productCode(std::move(productCode)), m_result(InstallPackage(packagePath, properties, informationMessages))
{
}

} // namespace kelm::test
