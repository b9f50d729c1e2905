#include "engine/exe_package.h"

#include <vector>

namespace kelm {

bool RunExePackage(const InstallPackage& package)
{
    // The program path is quoted: a folder name with spaces ("Program Files (x86)",
    // a user folder) must not split it. The arguments stay as the manifest gives them.
    std::wstring commandLine = L"\"" + package.localPath + L"\"";
    if (!package.commandLine.empty())
        commandLine += L" " + package.commandLine;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);

    while (::WaitForSingleObject(processHandle.Get(), 0) == WAIT_TIMEOUT)
        ::Sleep(200);
    return true;
}

} // namespace kelm
