#pragma once
// Scratch folders of a test below the temporary folder of the test prefix.

#include <string>
#include <string_view>

namespace kelm::test {

// Deletes the folder with all its files and subfolders (with or without a
// trailing backslash); what cannot be deleted stays.
void RemoveFolderTree(const std::wstring& folder);

// Writes the bytes as the whole file (replacing it); false when it cannot be
// written.
bool WriteFileBytes(const std::wstring& path, std::string_view bytes);

// A fresh, empty folder "<temp>\<name>_<process id>\"; removed with everything
// in it at the end.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name);
    ~TempFolder() { RemoveFolderTree(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with a trailing backslash.
    const std::wstring& Path() const { return m_path; }
    // The folder without the trailing backslash (as a module's folder is given).
    std::wstring Folder() const { return m_path.substr(0, m_path.size() - 1); }
    // A path below the folder: File(L"config\\manifest.xml").
    std::wstring File(const std::wstring& relative) const { return m_path + relative; }

private:
    std::wstring m_path;
};

} // namespace kelm::test
