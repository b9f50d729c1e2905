// Installed-product detection against real products: small packages installed
// into the test prefix by the Windows Installer and removed again.

#include <windows.h>

#include <gtest/gtest.h>

#include "config/installer_config.h"
#include "config/registry_key.h"
#include "config/version_check.h"
#include "config_test_support.h"
#include "support/msi_products.h"
#include "support/registry_cleanup.h"

namespace kelm {
namespace {

constexpr wchar_t kCurrentCode[] = L"{70AB085D-2EF1-4D41-B621-5BF1D16F5F91}";
constexpr wchar_t kOlderCode[] = L"{8EBD919A-0217-4F3A-9605-95374B683196}";
constexpr wchar_t kNoLocationCode[] = L"{948155D1-375A-4E3D-8747-0FA231E76773}";
constexpr wchar_t kUpgradeCode[] = L"{9065BBC5-2845-44C0-B21C-5F5420D2CCFE}";
constexpr wchar_t kNoLocationUpgradeCode[] = L"{3A469CA8-F3F0-4103-90D6-4D1FBDD63AF2}";
constexpr wchar_t kNeverInstalledCode[] = L"{0D4F26C4-0B5E-4C36-9B0F-1F5D5C6D7E8F}";

constexpr wchar_t kProductKey[] = L"SOFTWARE\\KelmTests\\Zunder Pro\\080";
constexpr wchar_t kPreviousKey[] = L"SOFTWARE\\KelmTests\\Zunder Pro\\075";

// One of the packages the build makes with wixl (the test's working folder is the
// build folder holding msi\<name>.msi).
std::wstring TestPackage(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    ::GetFullPathNameW((std::wstring(L"msi\\") + name + L".msi").c_str(), MAX_PATH, path, nullptr);
    return path;
}

void SetLangId(const std::wstring& productKey, std::optional<DWORD> langId)
{
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (productKey + L"\\LanguagePacks").c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (productKey + L"\\LanguagePacks").c_str());
    if (!langId)
        return;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (productKey + L"\\LanguagePacks").c_str(), 0,
                                               nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
    ::RegSetValueExW(key, L"InitialLangID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*langId), sizeof(DWORD));
    ::RegCloseKey(key);
}

class DetectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Leftovers of an interrupted run.
        for (const wchar_t* code : {kCurrentCode, kOlderCode, kNoLocationCode})
            test::RemoveProduct(code);
    }
    void SetUp() override { ResetConfig(kCurrentCode); }

    void ResetConfig(const wchar_t* productCode, const wchar_t* upgradeCode = kUpgradeCode)
    {
        m_config = std::make_unique<InstallerConfig>();
        m_config->manifest.product_code = productCode;
        m_config->manifest.upgrade_code = upgradeCode;
        m_config->manifest.full_name = L"Kelm Test Product 8";
        m_config->manifest.registry = kProductKey;
        m_config->manifest.prev_registry = kPreviousKey;
        m_product = 0;
        m_related = 0;
    }
    void Detect() { DetectInstalledProduct(*m_config, InstalledFlags{m_product, m_related}); }

    const test::RegistryCleanup m_productKeys{{HKEY_LOCAL_MACHINE, L"SOFTWARE\\KelmTests\\Zunder Pro"}};
    std::unique_ptr<InstallerConfig> m_config;
    int32_t m_product = 0;
    int32_t m_related = 0;
};

TEST_F(DetectionTest, NothingInstalledLeavesEverythingAsItWas)
{
    Detect();
    EXPECT_EQ(0, m_product);
    EXPECT_EQ(0, m_related);
    EXPECT_TRUE(m_config->installedProduct.IsEmpty());
    EXPECT_EQ(L"C:\\Program Files\\Kelmware", m_config->installFolder);
    EXPECT_EQ(2052, m_config->languages.langId);
    EXPECT_FALSE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\LanguagePacks"));
    EXPECT_TRUE(QueryProductByCode(kNeverInstalledCode).IsEmpty());
    EXPECT_TRUE(QueryProductByUpgradeCode(kNoLocationUpgradeCode).IsEmpty());
    EXPECT_TRUE(QueryProductByUpgradeCode(L"").IsEmpty());
}

TEST_F(DetectionTest, ProductUnderItsProductCode)
{
    test::InstalledPackage package(TestPackage(L"current"), kCurrentCode);
    ASSERT_EQ(ERROR_SUCCESS, package.Result());

    const struct {
        std::optional<DWORD> initialLangId;
        int32_t expectedLangId;
    } languages[] = {{1041, 1041}, {1033, 2052}, {std::nullopt, 2052}, {1031, 1031}};
    for (const auto& language : languages) {
        ResetConfig(kCurrentCode);
        SetLangId(kProductKey, language.initialLangId);
        SetLangId(kPreviousKey, 1036); // never consulted here
        Detect();
        EXPECT_EQ(1, m_product);
        EXPECT_EQ(0, m_related);
        EXPECT_EQ(L"8.0.2.3", m_config->installedProduct.VersionString);
        EXPECT_EQ(L"Kelm Test Product 8", m_config->installedProduct.InstalledProductName);
        EXPECT_EQ(L"C:\\Program Files\\KelmTestProduct\\", m_config->installedProduct.InstallLocation);
        EXPECT_EQ(m_config->installedProduct.InstallLocation, m_config->installFolder);
        EXPECT_EQ(language.expectedLangId, m_config->languages.langId)
            << "InitialLangID " << (language.initialLangId ? std::to_string(*language.initialLangId) : "missing");
        // Opening the key created it when it was missing.
        EXPECT_TRUE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\LanguagePacks"));
    }
}

TEST_F(DetectionTest, OlderProductSharingOnlyTheUpgradeCode)
{
    test::InstalledPackage package(TestPackage(L"older"), kOlderCode);
    ASSERT_EQ(ERROR_SUCCESS, package.Result());
    SetLangId(kProductKey, 1031);  // the current key is not consulted
    SetLangId(kPreviousKey, 1041);

    Detect();
    EXPECT_EQ(0, m_product);
    EXPECT_EQ(1, m_related);
    EXPECT_EQ((InstalledProductInfo{L"7.5.0.0", L"Kelm Test Product 7", L"C:\\Program Files\\KelmTestProduct7\\"}),
              m_config->installedProduct);
    EXPECT_EQ(L"C:\\Program Files\\KelmTestProduct7\\", m_config->installFolder);
    EXPECT_EQ(1041, m_config->languages.langId);
    EXPECT_EQ(m_config->installedProduct, QueryProductByUpgradeCode(kUpgradeCode));

    // Without a previous key the language stays, and no key appears at the root.
    ResetConfig(kCurrentCode);
    m_config->manifest.prev_registry.clear();
    Detect();
    EXPECT_EQ(1, m_related);
    EXPECT_EQ(2052, m_config->languages.langId);
    EXPECT_FALSE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE, L"LanguagePacks"));
}

TEST_F(DetectionTest, ProductWithEmptyInstallLocation)
{
    test::InstalledPackage package(TestPackage(L"nolocation"), kNoLocationCode);
    ASSERT_EQ(ERROR_SUCCESS, package.Result());
    ResetConfig(kNoLocationCode, kNoLocationUpgradeCode);
    Detect();
    EXPECT_EQ(1, m_product);
    EXPECT_EQ(0, m_related);
    EXPECT_EQ((InstalledProductInfo{L"1.0.0.0", L"Kelm Plain Product", L""}), m_config->installedProduct);
    EXPECT_EQ(L"", m_config->installFolder);
}

TEST_F(DetectionTest, InstallLocationLongerThanTheUsualBufferIsReadWhole)
{
    const std::wstring location = L"C:\\" + std::wstring(150, L'a') + L"\\" + std::wstring(150, L'b') + L"\\";
    test::InstalledPackage package(TestPackage(L"nolocation"), kNoLocationCode,
                                   L"ARPINSTALLLOCATION=\"" + location + L"\"");
    ASSERT_EQ(ERROR_SUCCESS, package.Result());
    ResetConfig(kNoLocationCode, kNoLocationUpgradeCode);
    Detect();
    EXPECT_EQ(1, m_product);
    EXPECT_EQ(location, m_config->installedProduct.InstallLocation);
    EXPECT_EQ(location, m_config->installFolder);
}

TEST_F(DetectionTest, InstalledExePathComesFromTheKeyOfWhatWasFound)
{
    const test::TempFolder folder(L"kelm-config-detection");
    const std::wstring currentExe = folder.File(L"current.exe");
    const std::wstring olderExe = folder.File(L"older.exe");
    test::WriteBytes(currentExe, "MZ");
    test::WriteBytes(olderExe, "MZ");
    {
        RegistryKey current(HKEY_LOCAL_MACHINE, kProductKey);
        ASSERT_EQ(ERROR_SUCCESS, current.SetString(L"exe", currentExe));
        // The previous version's program stored without its terminating NUL.
        RegistryKey previous(HKEY_LOCAL_MACHINE, kPreviousKey);
        HKEY raw = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPreviousKey, 0, KEY_SET_VALUE, &raw));
        ::RegSetValueExW(raw, L"exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(olderExe.c_str()),
                         static_cast<DWORD>(olderExe.size() * sizeof(wchar_t)));
        ::RegCloseKey(raw);
    }
    const struct {
        bool product;
        bool related;
        std::wstring expected;
    } cases[] = {{false, false, L""}, {true, false, currentExe}, {false, true, olderExe}, {true, true, currentExe}};
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, GetInstalledExePath(*m_config, c.product, c.related)) << c.product << c.related;

    std::filesystem::remove(currentExe);
    EXPECT_EQ(L"", GetInstalledExePath(*m_config, true, false)) << "file no longer exists";
    m_config->manifest.prev_registry.clear();
    EXPECT_EQ(L"", GetInstalledExePath(*m_config, false, true)) << "no previous key named";
}

TEST_F(DetectionTest, ProcessWideFormsUseTheConfigurationAndTheBoundFlags)
{
    test::InstalledPackage package(TestPackage(L"current"), kCurrentCode);
    ASSERT_EQ(ERROR_SUCCESS, package.Result());
    // Bound for the rest of the process, as the application object's fields are.
    static int32_t appProductInstalled = 0;
    static int32_t appRelatedInstalled = 0;
    BindInstalledFlags(appProductInstalled, appRelatedInstalled);
    theConfig.manifest.product_code = kCurrentCode;
    theConfig.manifest.upgrade_code = kUpgradeCode;
    theConfig.manifest.full_name = L"Kelm Test Product 8";
    theConfig.manifest.registry = kProductKey;
    theConfig.manifest.targetVersion = L"8.0.2.3";

    DetectInstalledProduct();
    EXPECT_EQ(1, appProductInstalled);
    EXPECT_EQ(0, appRelatedInstalled);
    EXPECT_EQ(L"C:\\Program Files\\KelmTestProduct\\", theConfig.installFolder);
    EXPECT_EQ(AlreadyInstalled, EvaluateVersionCheck());
    EXPECT_EQ(L"", GetInstalledExePath()); // no "exe" value registered
}

} // namespace
} // namespace kelm
