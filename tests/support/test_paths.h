#pragma once
// Where a test program finds the build's other programs and files.

#include <string>

namespace kelm::test {

// Folder of the running test program, with a trailing backslash.
std::wstring TestBinaryFolder();

// `relative` (backslashes) below the build folder that the harness names in
// KELM_BUILD_DIR, as a Windows path (drive Z: is the Unix root under Wine).
std::wstring BuildFolderPath(const std::wstring& relative);

// `relative` (backslashes) below the source folder that the harness names in
// KELM_SOURCE_DIR, as a Windows path.
std::wstring SourceFolderPath(const std::wstring& relative);

// The installer program that the build makes: build\app\KelmWebInstaller.exe.
std::wstring BuiltInstallerPath();

} // namespace kelm::test
