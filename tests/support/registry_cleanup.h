#pragma once
// Registry values of the test prefix read by the tests, and the keys and values
// that a test writes removed again.

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

} // namespace kelm::test
