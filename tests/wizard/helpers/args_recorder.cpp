// Stand-in for a program the installer starts (the installed product, a newer
// client, the browser): appends its command line to "<own path>.log" and exits.
#include <windows.h>

#include <string>

#include "framework/handles.h"

int wmain()
{
    wchar_t modulePath[MAX_PATH];
    GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    const std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), size, nullptr, nullptr);
    const std::wstring logPath = std::wstring(modulePath) + L".log";
    const kelm::UniqueFile log(CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log)
        return 1;
    DWORD written = 0;
    return WriteFile(log.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) ? 0 : 1;
}
