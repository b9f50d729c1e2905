// The demo's language folders as the installer reads them: "string.ini" through
// the system's INI reader, slides through GDI+. The German table must translate
// every text key of the installer and keep each text's placeholders.

#include <windows.h>
#include <objidl.h>  // GDI+ needs it, and the project builds lean
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include "framework/handles.h"

namespace {

struct TextKey {
    const wchar_t* key;
    const wchar_t* english;
};

// The installer's text keys with their built-in English texts.
const TextKey kTextKeys[] = {
    {L"IDS_INSTALL", L"Install"},
    {L"IDS_STATUS_INIT", L"Initializing..."},
    {L"IDS_STATUS_CANCELLING", L"Cancelling..."},
    {L"IDS_STATUS_DOWNLOADING", L"Downloading, please wait..."},
    {L"IDS_STATUS_INSTALLING", L"Installing, please wait..."},
    {L"IDS_STATUS_FINISHED", L"Finished."},
    {L"IDS_STATUS_INSTALL_FAILED", L"Install failed."},
    {L"IDS_STATUS_CANCELLED", L"Cancelled."},
    {L"IDS_PRODUCT_READY", L"%s is ready"},
    {L"IDS_ACCEPT_LICENSE_TERMS", L"I accept the"},
    {L"IDS_LINK_LICENSE_TERMS", L"License Terms"},
    {L"IDS_ACCEPT_LICENSE_SENTENCE", L"I accept the License Terms"},
    {L"IDS_INSTALL_SETTINGS", L"Installation settings"},
    {L"IDS_SELECT_LANG", L"Please select a language:"},
    {L"IDS_INSTALL_FOLDER", L"Installation folder:"},
    {L"IDS_TEXT_CANCEL", L"Cancel"},
    {L"IDS_MESSAGE_CANCELNOTICE", L"Are you sure you want to cancel the installing process?"},
    {L"IDS_START_NOW", L"Start Now"},
    {L"IDS_LAUNCH_APP", L"Launch %s"},
    {L"IDS_BROWSE_DEST_FOLDER", L"Browse to the destination folder."},
    {L"IDS_PREPARING", L"Preparing..."},
    {L"IDS_CALC_TIME_REMAINING", L"Calculating time remaining..."},
    {L"IDS_TIME_REMAINING_HOURS", L"%02d hours %02d mins %02d secs remaining..."},
    {L"IDS_TIME_REMAINING_MINS", L"%02d mins %02d secs remaining..."},
    {L"IDS_TIME_REMAINING_SECS", L"%02d secs remaining..."},
    {L"IDS_ERR_CAPTION", L"Error"},
    {L"IDS_ERR_INSTALLED_ALREADY", L"%s is already installed. Would you like to launch it?"},
    {L"IDS_ERR_INSTALLED_ANOTHER_VERSION", L"Another version of this product is already installed."},
    {L"IDS_ERR_CLIENT_TOO_OLD", L"The version of your client is too old."},
    {L"IDS_ERR_OUT_OF_DISK", L"Check that at least %s MB of disk space is available and try again."},
    {L"IDS_ERR_CONNECT_DOWNLOAD_SERVER", L"Unable to contact the download server."},
    {L"IDS_ERR_CREATE_FOLDER_FAILED", L"The specified path %s is unavailable."},
    {L"IDS_CLOSE_RUNNING_APPS", L"The following applications should be closed before continuing the installation:"},
    {L"IDS_ERR_MANIFEST_MISSING", L"The installer cannot start: its manifest file %s is missing or cannot be read."},
    {L"IDS_ERR_MANIFEST_MALFORMED", L"The installer cannot start: its manifest file %s is not well-formed."},
    {L"IDS_ERR_MANIFEST_INCOMPLETE", L"The installer cannot start: its manifest file %s lacks the element %s."},
    {L"IDS_ERR_WORK_FOLDER", L"The installer cannot start: with its manifest file %s it needs the folder %s."},
    {L"IDS_ERR_MODULE_PATH", L"The installer cannot start: the location of its own program file is unavailable."},
};
const wchar_t* const kLinkKeys[] = {L"IDS_RLINK_TERMS", L"IDS_RLINK_SLIDE_SHOW"};
constexpr size_t kLongestText = 259;  // what the installer's 260-character buffer keeps

std::wstring LanguageFolder(int languageId)
{
    const char* source = std::getenv("KELM_SOURCE_DIR");
    std::wstring path = L"Z:";
    for (const char* c = source ? source : ""; *c; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path + L"\\demo\\language\\" + std::to_wstring(languageId) + L"\\";
}

std::wstring ReadIni(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t buffer[1024] = {};
    GetPrivateProfileStringW(section, key, L"<missing>", buffer, 1024, file.c_str());
    return buffer;
}

// The printf placeholders of a text, in order ("%s", "%02d", ...).
std::vector<std::wstring> Placeholders(const std::wstring& text)
{
    std::vector<std::wstring> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%')
            continue;
        size_t end = i + 1;
        while (end < text.size() && (std::iswdigit(text[end]) || text[end] == L'-'))
            ++end;
        if (end < text.size())
            found.push_back(text.substr(i, end - i + 1));
        i = end;
    }
    return found;
}

TEST(DemoLanguages, StringTablesAreUnicodeFilesWithAByteOrderMark)
{
    for (int language : {1031, 2052}) {
        kelm::UniqueFile file(CreateFileW((LanguageFolder(language) + L"string.ini").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        unsigned char head[2] = {};
        DWORD read = 0;
        ASSERT_TRUE(file && ReadFile(file.Get(), head, 2, &read, nullptr) && read == 2) << language;
        EXPECT_EQ(head[0], 0xFF) << language;
        EXPECT_EQ(head[1], 0xFE) << language;
    }
}

TEST(DemoLanguages, GermanTranslatesEveryTextAndKeepsItsPlaceholders)
{
    const std::wstring file = LanguageFolder(1031) + L"string.ini";
    for (const TextKey& entry : kTextKeys) {
        const std::wstring text = ReadIni(file, L"UISTRING", entry.key);
        EXPECT_NE(text, L"<missing>") << entry.key;
        EXPECT_FALSE(text.empty()) << entry.key;
        EXPECT_LE(text.size(), kLongestText) << entry.key;
        EXPECT_EQ(Placeholders(text), Placeholders(entry.english)) << entry.key;
        if (Placeholders(entry.english).size() < 2) {  // more than the placeholders changed
            EXPECT_NE(text, entry.english) << entry.key;
        }
    }
    EXPECT_EQ(ReadIni(file, L"UISTRING", L"IDS_INSTALL"), L"Installieren");
    EXPECT_EQ(ReadIni(file, L"UISTRING", L"IDS_MESSAGE_CANCELNOTICE"),
              L"M\u00f6chten Sie die Installation wirklich abbrechen?");
}

TEST(DemoLanguages, EveryLanguageLinksToTheDemoServer)
{
    for (int language : {1031, 2052}) {
        const std::wstring file = LanguageFolder(language) + L"string.ini";
        for (const wchar_t* key : kLinkKeys)
            EXPECT_EQ(ReadIni(file, L"RLINK", key).rfind(L"http://127.0.0.1:8470/zunder/", 0), 0u)
                << language << " " << key;
    }
    // The starting language keeps the built-in English texts.
    wchar_t section[64] = {};
    EXPECT_EQ(GetPrivateProfileSectionW(L"UISTRING", section, 64, (LanguageFolder(2052) + L"string.ini").c_str()), 0u);
}

TEST(DemoLanguages, SlidesComeInEveryScaleAtTheSlideAreaSize)
{
    struct GdiplusSession {
        ULONG_PTR token = 0;
        Gdiplus::Status status;
        GdiplusSession()
        {
            Gdiplus::GdiplusStartupInput input;
            status = Gdiplus::GdiplusStartup(&token, &input, nullptr);
        }
        ~GdiplusSession()
        {
            if (status == Gdiplus::Ok)
                Gdiplus::GdiplusShutdown(token);
        }
    } gdiplus;
    ASSERT_EQ(gdiplus.status, Gdiplus::Ok);
    struct Scale {
        int percent;
        UINT width;
        UINT height;
    };
    const Scale scales[] = {{100, 660, 284}, {125, 825, 355}, {150, 990, 426}, {200, 1320, 568}};
    for (int language : {1031, 2052}) {
        for (const Scale& scale : scales) {
            const std::wstring folder = LanguageFolder(language) + L"slides\\" + std::to_wstring(scale.percent) + L"\\";
            WIN32_FIND_DATAW found{};
            kelm::UniqueFind search(FindFirstFileW((folder + L"*.jpg").c_str(), &found));
            ASSERT_TRUE(search) << language << " " << scale.percent;
            int count = 0;
            do {
                auto image = std::make_unique<Gdiplus::Bitmap>((folder + found.cFileName).c_str());
                EXPECT_EQ(image->GetLastStatus(), Gdiplus::Ok) << found.cFileName;
                EXPECT_EQ(image->GetWidth(), scale.width) << found.cFileName;
                EXPECT_EQ(image->GetHeight(), scale.height) << found.cFileName;
                ++count;
            } while (FindNextFileW(search.Get(), &found));
            EXPECT_EQ(count, 3) << language << " " << scale.percent;
        }
    }
}

} // namespace
