#pragma once
// Packages installed into the test prefix through its Windows Installer, with
// no user interface, and removed again.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace kelm::test {

// Whether the product is installed (not merely advertised or known).
bool IsProductInstalled(const std::wstring& productCode);

// Installs the package at `packagePath` with the property settings `properties`.
// `informationMessages`, when given, receives the installer's information
// messages (its log lines, as an external handler sees them).
UINT InstallPackage(const std::wstring& packagePath, const std::wstring& properties = L"",
                    std::vector<std::wstring>* informationMessages = nullptr);

// Removes the product with no user interface and detaches any external handler
// an earlier installation left in place; ERROR_SUCCESS when it is not installed.
UINT RemoveProduct(const std::wstring& productCode);

// A package installed for the lifetime of the object; its product is removed
// in the destructor.
class InstalledPackage {
public:
    InstalledPackage(const std::wstring& packagePath, std::wstring productCode, const std::wstring& properties = L"",
                     std::vector<std::wstring>* informationMessages = nullptr);
    ~InstalledPackage() { RemoveProduct(m_productCode); }
    InstalledPackage(const InstalledPackage&) = delete;
    InstalledPackage& operator=(const InstalledPackage&) = delete;

    // What the installation returned.
    UINT Result() const { return m_result; }

private:
    std::wstring m_productCode;
    UINT m_result;
};

// Keeps a product that the code under test installs out of the other tests:
// removed when the guard is made (leftovers of an interrupted run) and again
// when it is destroyed.
class ProductRemovalGuard {
public:
    explicit ProductRemovalGuard(std::wstring productCode) : m_productCode(std::move(productCode))
    {
        RemoveProduct(m_productCode);
    }
    ~ProductRemovalGuard() { RemoveProduct(m_productCode); }
    ProductRemovalGuard(const ProductRemovalGuard&) = delete;
    ProductRemovalGuard& operator=(const ProductRemovalGuard&) = delete;

private:
    std::wstring m_productCode;
};

} // namespace kelm::test
