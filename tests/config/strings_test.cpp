// Localised texts, links, slide images and the opt-in regions, against real
// INI files, folders and the registry of the test prefix.

#include <gtest/gtest.h>

#include <algorithm>

#include "config/ui_strings.h"
#include "config_test_support.h"

namespace kelm {
namespace {

using test::TempFolder;

struct TextCase {
    const char* description;
    const wchar_t* iniText; // nullptr: no string.ini at all
    bool link;              // GetLink instead of GetUiString
    StringEntry entry;
    std::wstring expected;
};

class UiStringTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(UiStringTest, ReadsTranslationOrDefault)
{
    const TextCase& c = GetParam();
    const TempFolder folder(L"kelm-config-texts");
    LanguageResources languages{1031, folder.Path()};
    if (c.iniText)
        test::WriteUtf16File(folder.File(L"1031\\string.ini"), c.iniText);

    const std::wstring text = c.link ? languages.GetLink(c.entry) : languages.GetUiString(c.entry);
    EXPECT_EQ(c.expected, text) << c.description;
}

const std::wstring kLongText(300, L'x');
const std::wstring kLongIni = L"[UISTRING]\r\nIDS_INSTALL=" + kLongText + L"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, UiStringTest,
    ::testing::Values(
        TextCase{"no string.ini", nullptr, false, IDS_INSTALL, L"Install"},
        TextCase{"no string.ini, link", nullptr, true, IDS_RLINK_TERMS, IDS_RLINK_TERMS.defaultText},
        TextCase{"key missing", L"[UISTRING]\r\nIDS_START_NOW=Jetzt starten\r\n", false, IDS_INSTALL, L"Install"},
        TextCase{"key present", L"[UISTRING]\r\nIDS_INSTALL=Installieren\r\n", false, IDS_INSTALL, L"Installieren"},
        TextCase{"section missing", L"[RLINK]\r\nIDS_INSTALL=not a text\r\n", false, IDS_INSTALL, L"Install"},
        TextCase{"empty value", L"[UISTRING]\r\nIDS_INSTALL=\r\n", false, IDS_INSTALL, L""},
        TextCase{"300 characters cut to 259", kLongIni.c_str(), false, IDS_INSTALL, kLongText.substr(0, 259)},
        TextCase{"non-ASCII text", L"[UISTRING]\r\nIDS_INSTALL=\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u0438\u0442\u044c\r\n",
                 false, IDS_INSTALL, L"\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u0438\u0442\u044c"},
        TextCase{"link present", L"[RLINK]\r\nIDS_RLINK_TERMS=https://example.test/terms\r\n", true, IDS_RLINK_TERMS,
                 L"https://example.test/terms"},
        TextCase{"link only in the text section", L"[UISTRING]\r\nIDS_RLINK_TERMS=https://example.test/t\r\n", true,
                 IDS_RLINK_TERMS, IDS_RLINK_TERMS.defaultText},
        TextCase{"text only in the link section", L"[RLINK]\r\nIDS_PREPARING=x\r\n", false, IDS_PREPARING,
                 L"Preparing..."}));

TEST(UiStrings, FileIsReadAnewOnEveryCall)
{
    const TempFolder folder(L"kelm-config-links");
    LanguageResources languages{1041, folder.Path()};
    const std::filesystem::path ini = folder.File(L"1041\\string.ini");
    EXPECT_EQ(L"Start Now", languages.GetUiString(IDS_START_NOW));
    test::WriteUtf16File(ini, L"[UISTRING]\r\nIDS_START_NOW=first\r\n");
    EXPECT_EQ(L"first", languages.GetUiString(IDS_START_NOW));
    test::WriteUtf16File(ini, L"[UISTRING]\r\nIDS_START_NOW=second\r\n");
    EXPECT_EQ(L"second", languages.GetUiString(IDS_START_NOW));
}

TEST(UiStrings, LanguageWithoutFolderGivesDefaults)
{
    const TempFolder folder(L"kelm-config-fallback");
    test::WriteUtf16File(folder.File(L"2052\\string.ini"), L"[UISTRING]\r\nIDS_INSTALL=zh\r\n");
    EXPECT_EQ(L"zh", (LanguageResources{2052, folder.Path()}.GetUiString(IDS_INSTALL)));
    EXPECT_EQ(L"Install", (LanguageResources{1041, folder.Path()}.GetUiString(IDS_INSTALL)));
    // Before the language folder is known nothing is read, not even from the working folder.
    EXPECT_EQ(L"Install", LanguageResources{}.GetUiString(IDS_INSTALL));
}

// "/lang": a language whose folder has a string.ini gives this run's texts
// (and slides); anything else leaves the language as it was. The language
// recorded after installing (langId) never changes.
TEST(UiStrings, ARequestedLanguageWithAFolderGivesTheTexts)
{
    const TempFolder folder(L"kelm-config-requested");
    test::WriteUtf16File(folder.File(L"1031\\string.ini"), L"[UISTRING]\r\nIDS_INSTALL=Installieren\r\n");
    test::WriteUtf16File(folder.File(L"2052\\string.ini"), L"[UISTRING]\r\nIDS_INSTALL=zh\r\n");
    std::filesystem::create_directories(folder.File(L"1041"));
    struct Case {
        const wchar_t* requested;
        bool taken;
        const wchar_t* text;
    };
    const Case cases[] = {
        {L"1031", true, L"Installieren"},
        {L"9999", false, L"zh"},       // no such folder
        {L"1041", false, L"zh"},       // a folder without string.ini
        {L"de", false, L"zh"},         // not a language id
        {L"1031x", false, L"zh"},
        {L"", false, L"zh"},
        {L"0", false, L"zh"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(L"/lang ") + c.requested);
        LanguageResources languages{2052, folder.Path()};
        EXPECT_EQ(c.taken, languages.UseRequestedLanguage(c.requested));
        EXPECT_EQ(c.text, languages.GetUiString(IDS_INSTALL));
        EXPECT_EQ(2052, languages.langId);
    }
}

// Slides: one file per scale folder, plus files that do not match "*.jpg".
class SlideTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const wchar_t* scale : {L"100", L"125", L"150", L"200"}) {
            test::WriteBytes(SlidesOf(scale) / (std::wstring(L"slide") + scale + L".jpg"), "jpeg");
            test::WriteBytes(SlidesOf(scale) / L"notes.txt", "not a slide");
        }
    }
    std::filesystem::path SlidesOf(const std::wstring& scale) const
    {
        return m_folder.File(L"2052\\slides\\" + scale);
    }

    TempFolder m_folder{L"kelm-config-slides"};
    LanguageResources m_languages{2052, m_folder.Path()};
};

TEST_F(SlideTest, ScaleFolderFollowsVerticalDpi)
{
    const struct {
        int dpi;
        const wchar_t* scale;
    } cases[] = {{96, L"100"},  {119, L"100"}, {120, L"125"}, {143, L"125"},
                 {144, L"150"}, {191, L"150"}, {192, L"200"}, {288, L"200"}};
    for (const auto& c : cases) {
        const std::wstring expected = (SlidesOf(c.scale) / (std::wstring(L"slide") + c.scale + L".jpg")).wstring();
        EXPECT_EQ(std::vector<std::wstring>{expected}, m_languages.FindSlideImages(c.dpi)) << "dpi " << c.dpi;
    }
}

TEST_F(SlideTest, PathsAreFolderWithTrailingBackslashPlusName)
{
    const auto paths = m_languages.FindSlideImages(96);
    ASSERT_EQ(1u, paths.size());
    EXPECT_EQ(m_folder.File(L"2052\\slides\\100\\slide100.jpg"), paths[0]);
}

TEST_F(SlideTest, NoFolderForLanguageGivesNoSlides)
{
    EXPECT_TRUE((LanguageResources{1041, m_folder.Path()}.FindSlideImages(96)).empty());
}

TEST(SlideCache, EmptyResultIsScannedAgainAndFilledOneIsKept)
{
    const TempFolder folder(L"kelm-config-slide-cache");
    LanguageResources languages{2052, folder.Path()};
    const std::filesystem::path slides = folder.File(L"2052\\slides\\100");
    std::filesystem::create_directories(slides);
    SlideImageCache cache;

    EXPECT_TRUE(cache.Get(languages, 96).empty());
    test::WriteBytes(slides / L"a.jpg", "jpeg");
    const std::vector<std::wstring> first = cache.Get(languages, 96);
    ASSERT_EQ(1u, first.size());

    test::WriteBytes(slides / L"b.jpg", "jpeg");
    EXPECT_EQ(first, cache.Get(languages, 96));
    // Neither another scale nor another language refreshes it.
    EXPECT_EQ(first, cache.Get(languages, 192));
    EXPECT_EQ(first, cache.Get(LanguageResources{1041, folder.Path()}, 96));
}

TEST(SlideCache, ScreenDpiIsTheLogPixelsOfThePrefix)
{
    DWORD logPixels = 96;
    DWORD size = sizeof(logPixels);
    ::RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", RRF_RT_REG_DWORD, nullptr,
                   &logPixels, &size);
    EXPECT_EQ(static_cast<int>(logPixels), ScreenDpiForSlides());
}

// "Nation" under HKCU\Control Panel\International\Geo.
TEST(OptInRegion, FollowsTheNationValue)
{
    test::SavedRegistryValue nation(HKEY_CURRENT_USER, L"Control Panel\\International\\Geo", L"Nation");
    const struct {
        std::optional<std::wstring> value;
        bool optIn;
    } cases[] = {
        {L"94", true},   // Germany
        {L"122", true},  // Japan
        {L"39", true},   // Canada
        {L"242", true},  // United Kingdom
        {L" 84", true},  // France, leading blank read as a number
        {L"244", false}, // United States
        {L"0", false},   {L"", false},   {L"abc", false}, {std::nullopt, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(nation.Set(c.value));
        EXPECT_EQ(c.optIn, IsOptInRegion()) << (c.value ? std::string(c.value->begin(), c.value->end()) : "missing");
    }
}

TEST(OptInRegion, TableHoldsThirtyRegions)
{
    int count = 0;
    for (int32_t id = -1; id <= 400; ++id)
        count += IsOptInGeoId(id) ? 1 : 0;
    EXPECT_EQ(30, count);
}

} // namespace
} // namespace kelm
