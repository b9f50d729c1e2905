#include "config/registry_key.h"

#include <vector>

namespace kelm {

namespace {

constexpr REGSAM kWriteAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY; // 0x2001F

} // namespace

void RegistryKey::Open(HKEY root, const std::wstring& subKey)
{
    Close();
    m_strSubKey = subKey;
    if (::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, kWriteAccess, nullptr, m_hWriteKey.Put(),
                          nullptr) != ERROR_SUCCESS)
        m_hWriteKey.Reset();
    if (!m_hWriteKey &&
        ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, m_hReadOnlyKey.Put()) != ERROR_SUCCESS)
        m_hReadOnlyKey.Reset();
}

void RegistryKey::Close() noexcept
{
    m_hWriteKey.Reset();
    m_hReadOnlyKey.Reset();
    m_strSubKey.clear();
}

std::optional<std::wstring> RegistryKey::QueryString(const wchar_t* valueName) const
{
    const HKEY key = ReadKey();
    if (!key)
        return std::nullopt;
    DWORD size = 0;
    if (::RegQueryValueExW(key, valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    // Whole UTF-16 units only; an odd trailing byte cannot be part of the text.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD readSize = size;
    if (size != 0 && ::RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                                        &readSize) != ERROR_SUCCESS)
        return std::nullopt;
    const size_t units = readSize / sizeof(wchar_t);
    size_t length = 0;
    while (length < units && data[length] != L'\0')
        ++length;
    return std::wstring(data.data(), length);
}

int32_t RegistryKey::QueryInitialLangId() const
{
    const HKEY key = ReadKey();
    if (!key)
        return kDefaultLangId;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExW(key, L"InitialLangID", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return kDefaultLangId;
    return static_cast<int32_t>(value);
}

LSTATUS RegistryKey::SetString(const wchar_t* valueName, const std::wstring& text)
{
    if (!m_hWriteKey)
        return ERROR_CANTWRITE;
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(m_hWriteKey.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            bytes);
}

} // namespace kelm
