#include "support/test_paths.h"

#include <windows.h>

#include <cstdlib>

namespace kelm::test {
namespace {

// The Unix folder named by the environment variable, as a Windows path (drive Z:
// is the Unix root under Wine), with `relative` below it.
std::wstring PathBelowFolderOf(const char* variable, const std::wstring& relative)
{
    const char* folder = std::getenv(variable);
    std::wstring path = L"Z:";
    for (const char* c = folder ? folder : ""; *c; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path + L"\\" + relative;
}

} // namespace

std::wstring TestBinaryFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path);
    return program.substr(0, program.rfind(L'\\') + 1);
}

std::wstring BuildFolderPath(const std::wstring& relative)
{
    return PathBelowFolderOf("KELM_BUILD_DIR", relative);
}

std::wstring SourceFolderPath(const std::wstring& relative)
{
    return PathBelowFolderOf("KELM_SOURCE_DIR", relative);
}

std::wstring BuiltInstallerPath()
{
    return BuildFolderPath(L"app\\KelmWebInstaller.exe");
}

} // namespace kelm::test
