#include "support/temp_folder.h"

#include <windows.h>

#include "framework/handles.h"

namespace kelm::test {

void RemoveFolderTree(const std::wstring& folder)
{
    const std::wstring prefix = folder.empty() || folder.back() == L'\\' ? folder : folder + L"\\";
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((prefix + L"*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolderTree(prefix + name);
            else
                ::DeleteFileW((prefix + name).c_str());
        } while (::FindNextFileW(find.Get(), &entry));
    }
    find.Reset();
    ::RemoveDirectoryW(prefix.c_str());
}

bool WriteFileBytes(const std::wstring& path, std::string_view bytes)
{
    const UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

TempFolder::TempFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + name + L"_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    RemoveFolderTree(m_path);
    ::CreateDirectoryW(m_path.c_str(), nullptr);
}

} // namespace kelm::test
