// Stand-in for a program the installer starts (the installed product, a newer
// client, the browser): appends its command line to "<own path>.log", and the
// file name of the process that started it to "<own path>.parent", and exits.
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "framework/handles.h"

namespace {

// The file name of the parent process ("explorer.exe"), or "?" when it has ended.
std::wstring ParentProgram()
{
    kelm::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); parent && more;
         more = Process32NextW(snapshot.Get(), &entry))
        if (entry.th32ProcessID == parent)
            return entry.szExeFile;
    return L"?";
}

void AppendUtf8(const std::wstring& path, const std::wstring& line)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), size, nullptr, nullptr);
    const kelm::UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file)
        WriteFile(file.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

} // namespace

int wmain()
{
    wchar_t modulePath[MAX_PATH];
    GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    AppendUtf8(std::wstring(modulePath) + L".parent", ParentProgram() + L"\n");
    AppendUtf8(std::wstring(modulePath) + L".log", std::wstring(GetCommandLineW()) + L"\n");
    return 0;
}
