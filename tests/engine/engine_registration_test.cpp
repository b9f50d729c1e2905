// The registration values in the real registry of the test prefix.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>

#include "engine/registration.h"

namespace kelm {
namespace {

constexpr wchar_t kResourceLanguageKey[] = L"SOFTWARE\\Kelmware\\ResourceLangID";

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key, const std::wstring& name)
{
    wchar_t data[512] = {};
    DWORD size = sizeof data;
    if (::RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

std::optional<DWORD> ReadDword(HKEY root, const std::wstring& key, const std::wstring& name)
{
    DWORD data = 0;
    DWORD size = sizeof data;
    if (::RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return data;
}

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
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());

        WriteInstallationValues(key, c.exePath, c.langId);

        EXPECT_EQ(c.installDir, ReadString(HKEY_LOCAL_MACHINE, key, L"InstallDir"));
        EXPECT_EQ(c.installDir ? std::optional<std::wstring>(c.exePath) : std::nullopt,
                  ReadString(HKEY_LOCAL_MACHINE, key, L"exe"));
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
        EXPECT_EQ(language, ReadDword(HKEY_LOCAL_MACHINE, key + L"\\LanguagePacks", L"InitialLangID"));
        EXPECT_EQ(language, ReadDword(HKEY_CURRENT_USER, key, L"ApplicationLanguage"));
        if (!c.siblingValueName.empty()) {
            EXPECT_EQ(std::to_wstring(c.langId),
                      ReadString(HKEY_CURRENT_USER, kResourceLanguageKey, c.siblingValueName));
            HKEY resource = nullptr;
            if (::RegOpenKeyExW(HKEY_CURRENT_USER, kResourceLanguageKey, 0, KEY_SET_VALUE, &resource) ==
                ERROR_SUCCESS) {
                ::RegDeleteValueW(resource, c.siblingValueName.c_str());
                ::RegCloseKey(resource);
            }
        }
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    }
    // English writes no sibling value: the German one of the same folder shape is absent for A.
    EXPECT_EQ(std::nullopt, ReadString(HKEY_CURRENT_USER, kResourceLanguageKey, L"C:\\Kelm Reg A\\vennlink2.exe"));
}

} // namespace
} // namespace kelm
