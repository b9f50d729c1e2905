#include "support/registry_cleanup.h"

#include "framework/handles.h"

namespace kelm::test {

std::optional<std::wstring> ReadRegistryString(HKEY root, const std::wstring& key, const std::wstring& name)
{
    DWORD size = 0;
    if (::RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (::RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(data.find(L'\0'));
    return data;
}

std::optional<DWORD> ReadRegistryDword(HKEY root, const std::wstring& key, const std::wstring& name)
{
    DWORD data = 0;
    DWORD size = sizeof data;
    if (::RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return data;
}

bool RegistryKeyExists(HKEY root, const std::wstring& key)
{
    UniqueRegKey opened;
    return ::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.Put()) == ERROR_SUCCESS;
}

void DeleteRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name)
{
    UniqueRegKey opened;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, opened.Put()) == ERROR_SUCCESS)
        ::RegDeleteValueW(opened.Get(), name.c_str());
}

RegistryCleanup::RegistryCleanup(std::initializer_list<RegistryItem> items) : m_items(items)
{
    Clean();
}

void RegistryCleanup::Clean() const
{
    for (const RegistryItem& item : m_items) {
        if (item.value) {
            DeleteRegistryValue(item.root, item.key, *item.value);
        } else {
            ::RegDeleteTreeW(item.root, item.key.c_str()); // the key with everything below it
        }
    }
}

} // namespace kelm::test
