// The demo's prerequisite package: an EXE installer of a shared runtime.
// "/quiet" (or "/q") installs without any window; without it the user is asked
// first. Each installation records itself under HKLM\SOFTWARE\Kelmware\Zunder
// Runtime 8 (version, command line, run count), which is what "installed" means
// for this runtime. Exit codes follow the Windows Installer's: 0 installed,
// 1602 declined by the user, 1603 the record could not be written.

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

#include "framework/handles.h"

namespace {

constexpr wchar_t kRuntimeKey[] = L"SOFTWARE\\Kelmware\\Zunder Runtime 8";
constexpr wchar_t kRuntimeName[] = L"Zunder Runtime 8";
constexpr wchar_t kRuntimeVersion[] = L"8.0.0.3";

struct LocalFreeDeleter {
    void operator()(LPWSTR* block) const noexcept { LocalFree(block); }
};

bool HasQuietSwitch()
{
    int count = 0;
    std::unique_ptr<LPWSTR, LocalFreeDeleter> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments)
        return false;
    for (int i = 1; i < count; ++i) {
        const wchar_t* argument = arguments.get()[i];
        if (lstrcmpiW(argument, L"/quiet") == 0 || lstrcmpiW(argument, L"/q") == 0)
            return true;
    }
    return false;
}

bool RecordInstallation()
{
    kelm::UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRuntimeKey, 0, nullptr, 0, KEY_READ | KEY_SET_VALUE,
                        nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return false;

    DWORD runCount = 0;
    DWORD size = sizeof(runCount);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), L"RunCount", nullptr, &type, reinterpret_cast<BYTE*>(&runCount),
                         &size) != ERROR_SUCCESS || type != REG_DWORD)
        runCount = 0;
    ++runCount;

    auto setString = [&key](const wchar_t* name, const std::wstring& text) {
        return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    };
    return setString(L"Version", kRuntimeVersion)
        && setString(L"CommandLine", GetCommandLineW())
        && RegSetValueExW(key.Get(), L"RunCount", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&runCount),
                          sizeof(runCount)) == ERROR_SUCCESS;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    if (!HasQuietSwitch()) {
        std::wstring question = std::wstring(kRuntimeName) + L" " + kRuntimeVersion
                              + L" will be installed on this computer.";
        if (MessageBoxW(nullptr, question.c_str(), kRuntimeName, MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
            return 1602;
    }
    return RecordInstallation() ? 0 : 1603;
}
