#include "engine/registration.h"

#include <windows.h>

#include <string>

#include "config/installed_flags.h"
#include "config/installer_config.h"
#include "framework/handles.h"
#include "runlog/run_log.h"

namespace kelm {

namespace {

constexpr wchar_t kResourceLanguageKey[] = L"SOFTWARE\\Kelmware\\ResourceLangID\\";
constexpr wchar_t kSiblingProgram[] = L"vennlink2.exe";

// Created when missing, with the access RegistryKey asks for; the DWORD values
// need the write handle itself, which RegistryKey keeps to itself.
UniqueRegKey CreateKey(HKEY root, const std::wstring& path)
{
    UniqueRegKey key;
    ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr,
                      key.Put(), nullptr);
    return key;
}

void SetString(const UniqueRegKey& key, const std::wstring& name, const std::wstring& text)
{
    if (key)
        ::RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SetDword(const UniqueRegKey& key, const wchar_t* name, int32_t value)
{
    DWORD data = static_cast<DWORD>(value);
    if (key)
        ::RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

} // namespace

void WriteInstallationValues(const std::wstring& registryPath, const std::wstring& exePath, int32_t langId)
{
    // Failures are ignored: the installation itself has succeeded.
    const size_t lastBackslash = exePath.rfind(L'\\');
    const bool hasFolder = lastBackslash != std::wstring::npos && lastBackslash > 0;
    const std::wstring programFolder = hasFolder ? exePath.substr(0, lastBackslash + 1) : std::wstring();

    if (hasFolder) {
        UniqueRegKey product = CreateKey(HKEY_LOCAL_MACHINE, registryPath);
        SetString(product, L"InstallDir", programFolder);
        SetString(product, L"exe", exePath);
    }
    if (langId == kEnglishUsLanguageId)
        return;
    SetDword(CreateKey(HKEY_LOCAL_MACHINE, registryPath + L"\\LanguagePacks"), L"InitialLangID", langId);
    SetDword(CreateKey(HKEY_CURRENT_USER, registryPath), L"ApplicationLanguage", langId);
    if (hasFolder)
        SetString(CreateKey(HKEY_CURRENT_USER, kResourceLanguageKey), programFolder + kSiblingProgram,
                  std::to_wstring(langId));
}

int32_t RegisterInstallation()
{
    // An update of the installed product keeps the values of its first installation.
    if (AppInstalledFlags().productInstalled) {
        Log(L"registration: the update keeps the values of the first installation");
        return 1;
    }
    const std::wstring exePath = GetProductExePath();
    WriteInstallationValues(theConfig.manifest.registry, exePath, theConfig.languages.langId);
    Log(L"registration under HKLM\\", theConfig.manifest.registry, L": exe ", exePath, L", language ",
        theConfig.languages.langId);
    return 1;
}

} // namespace kelm
