// The registry key helper against the registry of the test prefix (HKCU and HKLM).

#include <windows.h>

#include <gtest/gtest.h>

#include "config/registry_key.h"
#include "config_test_support.h"

namespace kelm {
namespace {

// A key of its own under a root, removed with everything below it afterwards.
class RegistryKeyTest : public ::testing::TestWithParam<HKEY> {
protected:
    void TearDown() override
    {
        ::RegDeleteTreeW(GetParam(), m_path.c_str());
        ::RegDeleteKeyW(GetParam(), m_path.c_str());
    }

    void WriteRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(GetParam(), m_path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                   &key, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes));
        ::RegCloseKey(key);
    }

    const std::wstring m_path = L"Software\\KelmTests\\Registry" + std::to_wstring(::GetCurrentProcessId());
};

TEST_P(RegistryKeyTest, OpenCreatesMissingKeyAndSetStringWritesTerminatedText)
{
    const std::wstring subKey = m_path + L"\\Deeper\\LanguagePacks";
    RegistryKey key(GetParam(), subKey);
    EXPECT_TRUE(key.IsOpen());
    EXPECT_TRUE(key.IsWritable());
    EXPECT_EQ(subKey, key.SubKey());
    EXPECT_EQ(ERROR_SUCCESS, key.SetString(L"InstallDir", L"C:\\Program Files\\Kelmware"));
    key.Close();
    EXPECT_FALSE(key.IsOpen());
    EXPECT_TRUE(key.SubKey().empty());

    DWORD type = 0;
    wchar_t data[64] = {};
    DWORD bytes = sizeof(data);
    ASSERT_EQ(ERROR_SUCCESS, ::RegGetValueW(GetParam(), subKey.c_str(), L"InstallDir", RRF_RT_ANY, &type, data, &bytes));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ((wcslen(L"C:\\Program Files\\Kelmware") + 1) * sizeof(wchar_t), bytes);
    EXPECT_STREQ(L"C:\\Program Files\\Kelmware", data);

    RegistryKey reopened(GetParam(), subKey);
    EXPECT_EQ(L"C:\\Program Files\\Kelmware", reopened.QueryString(L"InstallDir").value_or(L"<none>"));
}

TEST_P(RegistryKeyTest, QueryStringTakesTextUpToFirstNulWhateverTheType)
{
    const struct {
        const wchar_t* name;
        DWORD type;
        std::string bytes;
        std::optional<std::wstring> expected;
    } cases[] = {
        {L"terminated", REG_SZ, std::string("a\0b\0c\0\0\0", 8), L"abc"},
        {L"unterminated", REG_SZ, std::string("C\0:\0\\\0x\0.\0e\0x\0e\0", 16), L"C:\\x.exe"},
        {L"embedded nul", REG_SZ, std::string("a\0b\0\0\0c\0d\0\0\0", 12), L"ab"},
        {L"expand string kept as written", REG_EXPAND_SZ, std::string("%\0T\0%\0\0\0", 8), L"%T%"},
        {L"number read as text", REG_DWORD, std::string("B\0A\0", 4), L"BA"},
        {L"odd byte dropped", REG_BINARY, std::string("a\0b", 3), L"a"},
        {L"empty", REG_SZ, std::string(), L""},
    };
    for (const auto& c : cases)
        WriteRaw(c.name, c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));

    RegistryKey key(GetParam(), m_path);
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, key.QueryString(c.name)) << std::string(c.name, c.name + wcslen(c.name));
    EXPECT_EQ(std::nullopt, key.QueryString(L"absent"));
}

TEST_P(RegistryKeyTest, InitialLangIdIsAFourByteNumberOr1033)
{
    const struct {
        DWORD type;
        std::string bytes; // empty: value absent
        int32_t expected;
    } cases[] = {
        {REG_DWORD, std::string("\x11\x04\0\0", 4), 1041},
        {REG_DWORD, std::string("\x04\x08\0\0", 4), 2052},
        {REG_DWORD, std::string("\x09\x04\0\0", 4), 1033},
        {REG_BINARY, std::string("\x12\x04", 2), 1042},             // type not checked
        {REG_QWORD, std::string("\x11\x04\0\0\0\0\0\0", 8), 1033}, // longer than four bytes
        {REG_SZ, std::string("1\0000\0004\0001\0\0\0", 10), 1033},
        {REG_NONE, std::string(), 1033},
    };
    for (const auto& c : cases) {
        ::RegDeleteTreeW(GetParam(), m_path.c_str());
        if (!c.bytes.empty())
            WriteRaw(L"InitialLangID", c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
        RegistryKey key(GetParam(), m_path);
        EXPECT_EQ(c.expected, key.QueryInitialLangId()) << "type " << c.type << ", " << c.bytes.size() << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Roots, RegistryKeyTest, ::testing::Values(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE),
                         [](const auto& info) { return info.param == HKEY_CURRENT_USER ? "HKCU" : "HKLM"; });

TEST(RegistryKey, KeyThatCannotBeOpenedReadsNothingAndRefusesWrites)
{
    RegistryKey key(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7654)), L"Software\\Nowhere");
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(std::nullopt, key.QueryString(L"exe"));
    EXPECT_EQ(1033, key.QueryInitialLangId());
    EXPECT_EQ(ERROR_CANTWRITE, key.SetString(L"exe", L"x"));
}

} // namespace
} // namespace kelm
