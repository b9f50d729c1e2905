#include "config/ui_strings.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <array>

#include "config/decimal.h"
#include "config/installer_config.h"
#include "config/localised_format.h"
#include "config/registry_key.h"
#include "framework/handles.h"

namespace kelm {

namespace {

// GetPrivateProfileStringW buffer: texts and links are cut to 259 characters.
constexpr DWORD kProfileBufferChars = 260;

std::wstring ReadProfileText(const std::wstring& file, const wchar_t* section, const StringEntry& entry)
{
    if (file.empty() || !::PathFileExistsW(file.c_str()))
        return entry.defaultText;
    wchar_t buffer[kProfileBufferChars] = {};
    ::GetPrivateProfileStringW(section, entry.key, entry.defaultText, buffer, kProfileBufferChars, file.c_str());
    buffer[kProfileBufferChars - 1] = L'\0';
    return buffer;
}

struct OptInRegion {
    int32_t geoId;
    const wchar_t* country; // label only
};

// The 27 member states of the European Union, Japan, Canada and the United Kingdom.
constexpr std::array<OptInRegion, 30> kOptInRegions{{
    {122, L"Japan"},     {39, L"Canada"},       {14, L"Austria"},     {21, L"Belgium"},
    {35, L"Bulgaria"},   {108, L"Croatia"},     {59, L"Cyprus"},      {75, L"Czechia"},
    {61, L"Denmark"},    {70, L"Estonia"},      {77, L"Finland"},     {84, L"France"},
    {94, L"Germany"},    {98, L"Greece"},       {109, L"Hungary"},    {68, L"Ireland"},
    {118, L"Italy"},     {140, L"Latvia"},      {141, L"Lithuania"},  {147, L"Luxembourg"},
    {163, L"Malta"},     {176, L"Netherlands"}, {191, L"Poland"},     {193, L"Portugal"},
    {200, L"Romania"},   {143, L"Slovakia"},    {212, L"Slovenia"},   {217, L"Spain"},
    {221, L"Sweden"},    {242, L"United Kingdom"},
}};

SlideImageCache g_slideImageCache; // main thread only

} // namespace

std::wstring LanguageResources::StringFilePath() const
{
    // No language folder yet: no file, rather than one relative to the working folder.
    if (languageFolder.empty())
        return {};
    return languageFolder + std::to_wstring(TextLangId()) + L"\\string.ini";
}

bool LanguageResources::UseRequestedLanguage(const std::wstring& requested)
{
    if (requested.empty() || requested.size() > 9 || requested.find_first_not_of(L"0123456789") != std::wstring::npos ||
        languageFolder.empty())
        return false;
    const int32_t id = ParseLeadingInt32(requested);
    if (id == 0)
        return false;
    const DWORD attributes =
        ::GetFileAttributesW((languageFolder + std::to_wstring(id) + L"\\string.ini").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    textLangId = id;
    return true;
}

std::wstring LanguageResources::GetUiString(const StringEntry& entry) const
{
    return ReadProfileText(StringFilePath(), L"UISTRING", entry);
}

std::wstring LanguageResources::GetLink(const StringEntry& entry) const
{
    return ReadProfileText(StringFilePath(), L"RLINK", entry);
}

int SlideScaleForDpi(int dpi) noexcept
{
    if (dpi < 120)
        return 100;
    if (dpi < 144)
        return 125;
    if (dpi < 192)
        return 150;
    return 200;
}

std::vector<std::wstring> LanguageResources::FindSlideImages(int dpi) const
{
    if (languageFolder.empty())
        return {};
    const std::wstring folder = languageFolder + std::to_wstring(TextLangId()) + L"\\slides\\" +
                                std::to_wstring(SlideScaleForDpi(dpi)) + L"\\";
    const std::wstring pattern = folder + L"*.jpg";
    std::vector<std::wstring> paths;
    WIN32_FIND_DATAW found{};
    UniqueFind search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search)
        return paths;
    do {
        paths.push_back(folder + found.cFileName);
    } while (::FindNextFileW(search.Get(), &found));
    return paths;
}

std::vector<std::wstring> SlideImageCache::Get(const LanguageResources& languages, int dpi)
{
    if (m_paths.empty())
        m_paths = languages.FindSlideImages(dpi);
    return m_paths;
}

int ScreenDpiForSlides()
{
    WindowDc screen(nullptr);
    return screen ? ::GetDeviceCaps(screen.Get(), LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
}

std::vector<std::wstring> LanguageResources::GetSlideImages() const
{
    return g_slideImageCache.Get(*this, ScreenDpiForSlides());
}

bool IsOptInGeoId(int32_t geoId)
{
    return std::any_of(kOptInRegions.begin(), kOptInRegions.end(),
                       [geoId](const OptInRegion& region) { return region.geoId == geoId; });
}

bool IsOptInRegion()
{
    RegistryKey geo(HKEY_CURRENT_USER, L"Control Panel\\International\\Geo");
    const std::wstring nation = geo.QueryString(L"Nation").value_or(std::wstring());
    return IsOptInGeoId(ParseLeadingInt32(nation));
}

std::wstring GetUiString(const StringEntry& entry)
{
    return theConfig.languages.GetUiString(entry);
}

std::wstring GetLink(const StringEntry& entry)
{
    return theConfig.languages.GetLink(entry);
}

std::vector<std::wstring> GetSlideImages()
{
    return theConfig.languages.GetSlideImages();
}

std::wstring DiskSpaceMessage(const std::wstring& folder, std::uint64_t needed, std::uint64_t available)
{
    const auto megabytes = [](std::uint64_t bytes) { return std::to_wstring((bytes + 1024 * 1024 - 1) / (1024 * 1024)); };
    return FormatWithTexts(GetUiString(IDS_ERR_DISK_SPACE), {folder, megabytes(needed), megabytes(available)},
                           IDS_ERR_DISK_SPACE.defaultText);
}

} // namespace kelm
