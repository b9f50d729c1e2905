// A stand-in EXE installer for the tests: appends its parent process id and its
// whole command line to "<own path>.log", writes its current folder (UTF-16) to
// "<own path>.cwd", optionally sleeps ("/sleep=<ms>" or the
// inherited environment variable KELM_RECORD_SLEEP_MS), exits 0 or with the code
// of "/exit=<code>".
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "framework/handles.h"

namespace {

DWORD ParentProcessId()
{
    kelm::UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self)
            return entry.th32ParentProcessID;
    }
    return 0;
}

} // namespace

int wmain()
{
    wchar_t modulePath[MAX_PATH];
    ::GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    const std::wstring commandLine = ::GetCommandLineW();

    const std::wstring line = std::to_wstring(ParentProcessId()) + L"|" + commandLine + L"\n";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), size, nullptr,
                          nullptr);
    kelm::UniqueFile log(::CreateFileW((std::wstring(modulePath) + L".log").c_str(), FILE_APPEND_DATA,
                                       FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (log)
        ::WriteFile(log.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    log.Reset();
    // Its current folder, in a file of its own.
    wchar_t current[MAX_PATH] = {};
    const DWORD currentLength = ::GetCurrentDirectoryW(MAX_PATH, current);
    kelm::UniqueFile folder(::CreateFileW((std::wstring(modulePath) + L".cwd").c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (folder)
        ::WriteFile(folder.Get(), current, currentLength * sizeof(wchar_t), &written, nullptr);
    folder.Reset();

    const size_t sleepAt = commandLine.find(L"/sleep=");
    if (sleepAt != std::wstring::npos)
        ::Sleep(static_cast<DWORD>(std::wcstoul(commandLine.c_str() + sleepAt + 7, nullptr, 10)));
    wchar_t sleepSetting[32] = {};
    if (::GetEnvironmentVariableW(L"KELM_RECORD_SLEEP_MS", sleepSetting, 32) > 0)
        ::Sleep(static_cast<DWORD>(std::wcstoul(sleepSetting, nullptr, 10)));
    const size_t exitAt = commandLine.find(L"/exit=");
    return exitAt == std::wstring::npos ? 0 : static_cast<int>(std::wcstoul(commandLine.c_str() + exitAt + 6, nullptr, 10));
}
