// Stands in for the browser in the demo's Wine prefix: registered as the handler
// of http and https addresses, it appends every address it is asked to open to
// "opened-urls.txt" beside itself (UTF-8, one per line) and opens nothing.

#include <windows.h>

#include <string>

#include "framework/handles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    std::wstring address = commandLine ? commandLine : L"";
    while (!address.empty() && (address.front() == L' ' || address.front() == L'"'))
        address.erase(address.begin());
    while (!address.empty() && (address.back() == L' ' || address.back() == L'"'))
        address.pop_back();

    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 1;
    std::wstring logPath(path, length);
    logPath.erase(logPath.find_last_of(L'\\') + 1);
    logPath += L"opened-urls.txt";

    int size = WideCharToMultiByte(CP_UTF8, 0, address.c_str(), static_cast<int>(address.size()),
                                   nullptr, 0, nullptr, nullptr);
    std::string line(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, address.c_str(), static_cast<int>(address.size()), line.data(), size,
                        nullptr, nullptr);
    line += "\n";

    kelm::UniqueFile log(CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log)
        return 1;
    DWORD written = 0;
    return WriteFile(log.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ? 0 : 1;
}
