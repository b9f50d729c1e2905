#pragma once
// Scratch folders of a test below the temporary folder of the test prefix.

#include <string>

namespace kelm::test {

// Deletes the folder with all its files and subfolders (with or without a
// trailing backslash); what cannot be deleted stays.
void RemoveFolderTree(const std::wstring& folder);

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

private:
    std::wstring m_path;
};

} // namespace kelm::test
