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

namespace {

// Opens the key for writing, creating it when missing.
UniqueRegKey CreateKeyForWriting(HKEY root, const std::wstring& key)
{
    UniqueRegKey created;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, created.Put(), nullptr) !=
        ERROR_SUCCESS)
        return {};
    return created;
}

} // namespace

SavedRegistryValue::SavedRegistryValue(HKEY root, std::wstring key, std::wstring name)
    : m_root(root), m_key(std::move(key)), m_name(std::move(name))
{
    constexpr DWORD kAsStored = RRF_RT_ANY | RRF_NOEXPAND;
    DWORD size = 0;
    if (::RegGetValueW(m_root, m_key.c_str(), m_name.c_str(), kAsStored, &m_type, nullptr, &size) != ERROR_SUCCESS)
        return;
    std::vector<BYTE> data(size);
    if (::RegGetValueW(m_root, m_key.c_str(), m_name.c_str(), kAsStored, &m_type, data.data(), &size) !=
        ERROR_SUCCESS)
        return;
    data.resize(size);
    m_saved = std::move(data);
}

SavedRegistryValue::~SavedRegistryValue()
{
    const UniqueRegKey key = CreateKeyForWriting(m_root, m_key);
    if (!key)
        return;
    if (m_saved)
        ::RegSetValueExW(key.Get(), m_name.c_str(), 0, m_type, m_saved->data(), static_cast<DWORD>(m_saved->size()));
    else
        ::RegDeleteValueW(key.Get(), m_name.c_str());
}

bool SavedRegistryValue::Set(const std::optional<std::wstring>& text) const
{
    const UniqueRegKey key = CreateKeyForWriting(m_root, m_key);
    if (!key)
        return false;
    if (!text) {
        const LSTATUS deleted = ::RegDeleteValueW(key.Get(), m_name.c_str());
        return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
    }
    return ::RegSetValueExW(key.Get(), m_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                            static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace kelm::test
