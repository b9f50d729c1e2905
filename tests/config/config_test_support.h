#pragma once
// Helpers of the configuration tests: scratch folders, files, registry values
// restored after a test, and the test data folder.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace kelm::test {

inline std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// The source tree as a Windows path (drive Z: is the Unix root under Wine).
inline std::filesystem::path SourceDir()
{
    const char* unixPath = std::getenv("KELM_SOURCE_DIR");
    if (!unixPath)
        return {};
    std::wstring path = L"Z:" + Widen(unixPath);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

inline std::filesystem::path DataDir()
{
    return SourceDir() / L"tests" / L"config" / L"data";
}

// A fresh folder under the temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        static unsigned counter = 0;
        m_path = std::filesystem::path(temp) /
                 (L"kelm-config-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::wstring Str() const { return m_path.wstring(); }

private:
    std::filesystem::path m_path;
};

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// UTF-16LE with a byte-order mark: the form in which Windows reads Unicode INI files.
inline void WriteUtf16File(const std::filesystem::path& file, const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    WriteBytes(file, bytes);
}

// One registry value of the test prefix, put back as it was when the test ends.
class SavedRegistryValue {
public:
    SavedRegistryValue(HKEY root, std::wstring subKey, std::wstring name)
        : m_root(root), m_subKey(std::move(subKey)), m_name(std::move(name))
    {
        DWORD size = 0;
        if (::RegGetValueW(m_root, m_subKey.c_str(), m_name.c_str(), RRF_RT_ANY, &m_type, nullptr, &size) ==
            ERROR_SUCCESS) {
            m_data.emplace(size, 0);
            ::RegGetValueW(m_root, m_subKey.c_str(), m_name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &m_type,
                           m_data->data(), &size);
            m_data->resize(size);
        }
    }
    ~SavedRegistryValue()
    {
        HKEY key = nullptr;
        if (::RegCreateKeyExW(m_root, m_subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return;
        if (m_data)
            ::RegSetValueExW(key, m_name.c_str(), 0, m_type, m_data->data(), static_cast<DWORD>(m_data->size()));
        else
            ::RegDeleteValueW(key, m_name.c_str());
        ::RegCloseKey(key);
    }
    SavedRegistryValue(const SavedRegistryValue&) = delete;
    SavedRegistryValue& operator=(const SavedRegistryValue&) = delete;

    // Sets the value as REG_SZ, or removes it when `text` is absent.
    void Set(const std::optional<std::wstring>& text) const
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(m_root, m_subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                   &key, nullptr));
        if (text)
            ::RegSetValueExW(key, m_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                             static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t)));
        else
            ::RegDeleteValueW(key, m_name.c_str());
        ::RegCloseKey(key);
    }

private:
    HKEY m_root;
    std::wstring m_subKey;
    std::wstring m_name;
    DWORD m_type = REG_NONE;
    std::optional<std::vector<BYTE>> m_data;
};

} // namespace kelm::test
