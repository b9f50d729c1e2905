#pragma once
// One open registry key: created when missing, read and written, closed by its
// owner within one operation.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "framework/handles.h"

namespace kelm {

class RegistryKey {
public:
    static constexpr int32_t kDefaultLangId = 1033;

    RegistryKey() = default;
    RegistryKey(HKEY root, const std::wstring& subKey) { Open(root, subKey); }
    ~RegistryKey() = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Creates the key when it does not exist (read, set-value and create-sub-key
    // access); falls back to opening it read-only. Both may fail: reads then give
    // nothing and writes ERROR_CANTWRITE.
    void Open(HKEY root, const std::wstring& subKey);
    void Close() noexcept;

    bool IsOpen() const noexcept { return ReadKey() != nullptr; }
    bool IsWritable() const noexcept { return m_hWriteKey.IsValid(); }
    const std::wstring& SubKey() const noexcept { return m_strSubKey; }

    // The value's data as UTF-16 text up to its first NUL (or its end when it has
    // none), whatever its registry type; nothing when it cannot be read.
    std::optional<std::wstring> QueryString(const wchar_t* valueName) const;

    // "InitialLangID" as a 32-bit number; 1033 when it cannot be read.
    int32_t QueryInitialLangId() const;

    // REG_SZ with its terminating NUL. Returns the Windows error code, or
    // ERROR_CANTWRITE (1013) when the key has no write access.
    LSTATUS SetString(const wchar_t* valueName, const std::wstring& text);

private:
    HKEY ReadKey() const noexcept { return m_hWriteKey ? m_hWriteKey.Get() : m_hReadOnlyKey.Get(); }

    UniqueRegKey m_hWriteKey;    // also used for reading when present
    UniqueRegKey m_hReadOnlyKey; // only when the key could not be opened for writing
    std::wstring m_strSubKey;
};

} // namespace kelm
