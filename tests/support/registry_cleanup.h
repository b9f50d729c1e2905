#pragma once
// Registry values of the test prefix read by the tests, the keys and values
// that a test writes removed again, and values a test changes put back.

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelm::test {

// A REG_SZ value, or nothing when it is missing or of another type.
std::optional<std::wstring> ReadRegistryString(HKEY root, const std::wstring& key, const std::wstring& name);
// A REG_DWORD value, or nothing when it is missing or of another type.
std::optional<DWORD> ReadRegistryDword(HKEY root, const std::wstring& key, const std::wstring& name);
bool RegistryKeyExists(HKEY root, const std::wstring& key);
// Deletes one value of an existing key; a missing key or value is no error.
void DeleteRegistryValue(HKEY root, const std::wstring& key, const std::wstring& name);

// One registry key with everything below it, or one value of a key.
struct RegistryItem {
    RegistryItem(HKEY root, std::wstring key) : root(root), key(std::move(key)) {}
    RegistryItem(HKEY root, std::wstring key, std::wstring value)
        : root(root), key(std::move(key)), value(std::move(value))
    {
    }

    HKEY root;
    std::wstring key;
    std::optional<std::wstring> value; // nothing: the whole key
};

// Removes the registry items a test writes: when the guard is made (leftovers
// of an interrupted run), on Clean(), and when it is destroyed.
class RegistryCleanup {
public:
    RegistryCleanup(std::initializer_list<RegistryItem> items);
    ~RegistryCleanup() { Clean(); }
    RegistryCleanup(const RegistryCleanup&) = delete;
    RegistryCleanup& operator=(const RegistryCleanup&) = delete;

    void Clean() const;

private:
    std::vector<RegistryItem> m_items;
};

// One registry value of the test prefix (of any type; an empty name is the
// key's default value), put back as it was when the guard was made, or removed
// when it was missing, at the end.
class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, std::wstring key, std::wstring name);
    ~SavedRegistryValue();
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

    // Sets the value as REG_SZ (creating the key), or removes it when `text` is
    // absent; false when the key cannot be created or the value not written.
    bool Set(const std::optional<std::wstring>& text) const;

private:
    HKEY m_root;
    std::wstring m_key;
    std::wstring m_name;
    DWORD m_type = REG_NONE;
    std::optional<std::vector<BYTE>> m_saved; // nothing: the value was missing
};

} // namespace kelm::test
