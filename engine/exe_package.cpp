#include "engine/exe_package.h"

#include <vector>

#include "runlog/run_log.h"

namespace kelm {

ExeRunResult RunExePackage(const InstallPackage& package, const TrustedFile& file, HANDLE cancelEvent)
{
    ExeRunResult result;
    if (!file) {
        Log(L"not started: ", package.name, L" was not admitted");
        return result;
    }
    // The program path is quoted: a folder name with spaces ("Program Files (x86)",
    // a user folder) must not split it. The arguments stay as the manifest gives them.
    std::wstring commandLine = L"\"" + file.Path() + L"\"";
    if (!package.commandLine.empty())
        commandLine += L" " + package.commandLine;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');

    // It starts in the system folder, not in its download folder: its own DLL
    // searches then meet nothing that somebody put beside it.
    wchar_t systemFolder[MAX_PATH] = {};
    const UINT systemLength = ::GetSystemDirectoryW(systemFolder, MAX_PATH);
    const wchar_t* currentFolder = systemLength > 0 && systemLength < MAX_PATH ? systemFolder : nullptr;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    Log(L"starting ", commandLine);
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, currentFolder, &startup,
                          &process)) {
        Log(L"could not start ", file.Path(), L" (error ", ::GetLastError(), L")");
        return result;
    }
    result.started = true;
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);

    const HANDLE waitFor[] = {processHandle.Get(), cancelEvent};
    const DWORD ended = ::WaitForMultipleObjects(cancelEvent ? 2 : 1, waitFor, FALSE, INFINITE);
    if (ended == WAIT_OBJECT_0 + 1 &&
        ::WaitForSingleObject(processHandle.Get(), kCancelledExeGrace) == WAIT_TIMEOUT) {
        result.leftRunning = true;
        Log(L"cancelled: ", package.name, L" is still running and is left to end by itself");
        return result;
    }
    ::GetExitCodeProcess(processHandle.Get(), &result.exitCode);
    Log(package.name, L" ended with exit code ", result.exitCode);
    return result;
}

} // namespace kelm
