#pragma once
// Helpers of the configuration tests: files and the test data folder. Scratch
// folders and registry values put back after a test come from the shared support.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/registry_cleanup.h"
#include "support/temp_folder.h"
#include "support/test_paths.h"

namespace kelm::test {

// The configuration tests' data files: tests\config\data in the source folder.
inline std::filesystem::path DataDir()
{
    return SourceFolderPath(L"tests\\config\\data");
}

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

} // namespace kelm::test
