// The registration values in the real registry of the test prefix.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>

#include "engine/registration.h"
#include "support/registry_cleanup.h"

namespace kelm {
namespace {

constexpr wchar_t kResourceLanguageKey[] = L"SOFTWARE\\Kelmware\\ResourceLangID";

struct RegistrationCase {
    const char* name;
    std::wstring exePath;
    int32_t langId;
    std::optional<std::wstring> installDir; // also tells whether "exe" is written
    std::wstring siblingValueName;          // empty: no ResourceLangID value
};

TEST(RegistrationTest, ValuesFollowTheLanguageAndTheProgramFolder)
{
    const RegistrationCase cases[] = {
        {"English", L"C:\\Kelm Reg A\\Zunder.exe", 1033, L"C:\\Kelm Reg A\\", L""},
        {"German", L"C:\\Kelm Reg B\\Zunder.exe", 1031, L"C:\\Kelm Reg B\\", L"C:\\Kelm Reg B\\vennlink2.exe"},
        {"program in a subfolder", L"C:\\Kelm Reg C\\bin\\Zunder.exe", 1041, L"C:\\Kelm Reg C\\bin\\",
         L"C:\\Kelm Reg C\\bin\\vennlink2.exe"},
        {"no program folder", L"\\Zunder.exe", 1031, std::nullopt, L""},
    };
    int n = 0;
    for (const RegistrationCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring key = L"SOFTWARE\\KelmwareEngineTest\\Registration" + std::to_wstring(n++);
        const test::RegistryCleanup cleanup{{HKEY_LOCAL_MACHINE, key}, {HKEY_CURRENT_USER, key}};

        WriteInstallationValues(key, c.exePath, c.langId);

        EXPECT_EQ(c.installDir, test::ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"InstallDir"));
        EXPECT_EQ(c.installDir ? std::optional<std::wstring>(c.exePath) : std::nullopt,
                  test::ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"exe"));
        if (c.installDir) {
            // Strings are stored with their terminating NUL counted.
            HKEY product = nullptr;
            DWORD stored = 0;
            ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &product));
            ::RegQueryValueExW(product, L"exe", nullptr, nullptr, nullptr, &stored);
            ::RegCloseKey(product);
            EXPECT_EQ((c.exePath.size() + 1) * sizeof(wchar_t), stored);
        }
        const std::optional<DWORD> language =
            c.langId == 1033 ? std::nullopt : std::optional<DWORD>(static_cast<DWORD>(c.langId));
        EXPECT_EQ(language, test::ReadRegistryDword(HKEY_LOCAL_MACHINE, key + L"\\LanguagePacks", L"InitialLangID"));
        EXPECT_EQ(language, test::ReadRegistryDword(HKEY_CURRENT_USER, key, L"ApplicationLanguage"));
        if (!c.siblingValueName.empty()) {
            EXPECT_EQ(std::to_wstring(c.langId),
                      test::ReadRegistryString(HKEY_CURRENT_USER, kResourceLanguageKey, c.siblingValueName));
            test::DeleteRegistryValue(HKEY_CURRENT_USER, kResourceLanguageKey, c.siblingValueName);
        }
    }
    // English writes no sibling value: the German one of the same folder shape is absent for A.
    EXPECT_EQ(std::nullopt,
              test::ReadRegistryString(HKEY_CURRENT_USER, kResourceLanguageKey, L"C:\\Kelm Reg A\\vennlink2.exe"));
}

} // namespace
} // namespace kelm
