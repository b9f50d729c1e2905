#pragma once
// Localised user-interface texts, web links and slide images of the current
// language, and the regions in which the licence terms start unaccepted.
//
// Every text has a key and an English default compiled in; "string.ini" of the
// language folder may override it (section "UISTRING" for texts, "RLINK" for
// links). Texts are looked up at the moment of use.

#include <cstdint>
#include <string>
#include <vector>

namespace kelm {

struct StringEntry {
    const wchar_t* key;
    const wchar_t* defaultText;
};

// The constant's name is its key, so the two can never drift apart.
#define KELM_STRING_ENTRY(key, text) inline constexpr StringEntry key{L## #key, text};

KELM_STRING_ENTRY(IDS_INSTALL, L"Install")
KELM_STRING_ENTRY(IDS_STATUS_INIT, L"Initializing...")
KELM_STRING_ENTRY(IDS_STATUS_CANCELLING, L"Cancelling...")
KELM_STRING_ENTRY(IDS_STATUS_DOWNLOADING, L"Downloading, please wait...")
KELM_STRING_ENTRY(IDS_STATUS_INSTALLING, L"Installing, please wait...")
KELM_STRING_ENTRY(IDS_STATUS_FINISHED, L"Finished.")
KELM_STRING_ENTRY(IDS_STATUS_INSTALL_FAILED, L"Install failed.")
KELM_STRING_ENTRY(IDS_STATUS_CANCELLED, L"Cancelled.")
KELM_STRING_ENTRY(IDS_PRODUCT_READY, L"%s is ready")
KELM_STRING_ENTRY(IDS_ACCEPT_LICENSE_TERMS, L"I accept the")
KELM_STRING_ENTRY(IDS_LINK_LICENSE_TERMS, L"License Terms")
KELM_STRING_ENTRY(IDS_ACCEPT_LICENSE_SENTENCE, L"I accept the License Terms")
KELM_STRING_ENTRY(IDS_INSTALL_SETTINGS, L"Installation settings")
KELM_STRING_ENTRY(IDS_SELECT_LANG, L"Please select a language:")
KELM_STRING_ENTRY(IDS_INSTALL_FOLDER, L"Installation folder:")
KELM_STRING_ENTRY(IDS_TEXT_CANCEL, L"Cancel")
KELM_STRING_ENTRY(IDS_MESSAGE_CANCELNOTICE, L"Are you sure you want to cancel the installing process?")
KELM_STRING_ENTRY(IDS_START_NOW, L"Start Now")
KELM_STRING_ENTRY(IDS_LAUNCH_APP, L"Launch %s")
KELM_STRING_ENTRY(IDS_BROWSE_DEST_FOLDER, L"Browse to the destination folder.")
KELM_STRING_ENTRY(IDS_PREPARING, L"Preparing...")
KELM_STRING_ENTRY(IDS_CALC_TIME_REMAINING, L"Calculating time remaining...")
KELM_STRING_ENTRY(IDS_TIME_REMAINING_HOURS, L"%02d hours %02d mins %02d secs remaining...")
KELM_STRING_ENTRY(IDS_TIME_REMAINING_MINS, L"%02d mins %02d secs remaining...")
KELM_STRING_ENTRY(IDS_TIME_REMAINING_SECS, L"%02d secs remaining...")
KELM_STRING_ENTRY(IDS_ERR_CAPTION, L"Error")
KELM_STRING_ENTRY(IDS_ERR_INSTALLED_ALREADY, L"%s is already installed. Would you like to launch it?")
KELM_STRING_ENTRY(IDS_ERR_INSTALLED_ANOTHER_VERSION,
                  L"Another version of this product is already installed. Installation of this version cannot "
                  L"continue. To configure or remove the existing version of this product, use Add/Remove "
                  L"Programs on the Control Panel.")
KELM_STRING_ENTRY(IDS_ERR_CLIENT_TOO_OLD,
                  L"The version of your client is too old, please click \"OK\" to download the latest client.")
KELM_STRING_ENTRY(IDS_ERR_OUT_OF_DISK,
                  L"The disk space required for the installation exceeds available disk space. Check that at "
                  L"least %s MB of disk space is available and try again. For more information, please contact "
                  L"Customer Care.")
KELM_STRING_ENTRY(IDS_ERR_CONNECT_DOWNLOAD_SERVER,
                  L"Unable to contact the download server. Check your Internet connection and try again. If the "
                  L"issue persists, please contact Customer Care.")
KELM_STRING_ENTRY(IDS_ERR_CREATE_FOLDER_FAILED, L"The specified path %s is unavailable.")
// The folder, then the space needed and the space free in MB.
KELM_STRING_ENTRY(IDS_ERR_DISK_SPACE,
                  L"There is not enough free disk space in %s for the download: %s MB are needed and %s MB are "
                  L"free. Free some space and try again.")
KELM_STRING_ENTRY(IDS_CLOSE_RUNNING_APPS,
                  L"The following applications should be closed before continuing the installation:")
// Links (section "RLINK"), read with GetLink.
KELM_STRING_ENTRY(IDS_RLINK_TERMS, L"https://go.kelmware.com/zunder80-terms")
KELM_STRING_ENTRY(IDS_RLINK_SLIDE_SHOW, L"https://go.kelmware.com/zunder80-tour")
// Start-up with an unusable manifest. Each "%s" receives the manifest's full path;
// IDS_ERR_MANIFEST_INCOMPLETE's second one the missing element, IDS_ERR_WORK_FOLDER's
// second one the folder.
KELM_STRING_ENTRY(IDS_ERR_MANIFEST_MISSING,
                  L"The installer cannot start: its manifest file %s is missing or cannot be read.")
KELM_STRING_ENTRY(IDS_ERR_MANIFEST_MALFORMED,
                  L"The installer cannot start: its manifest file %s is not a well-formed XML document.")
KELM_STRING_ENTRY(IDS_ERR_MANIFEST_INCOMPLETE,
                  L"The installer cannot start: its manifest file %s lacks the required element %s.")
KELM_STRING_ENTRY(IDS_ERR_WORK_FOLDER,
                  L"The installer cannot start: with its manifest file %s it needs the work folder %s, which "
                  L"cannot be created.")
// Why the newer client the server offers was refused.
KELM_STRING_ENTRY(IDS_ERR_NEW_CLIENT_REFUSED,
                  L"A newer version of this installer is needed, but the one the server offers cannot be shown to "
                  L"come from the publisher of this installer: %s. Download the installer again from the "
                  L"publisher's web site.")
// The folder, then why it cannot be trusted.
KELM_STRING_ENTRY(IDS_ERR_WORK_FOLDER_UNTRUSTED,
                  L"The installer cannot start: its work folder %s could be changed by somebody who is not an "
                  L"administrator (%s). Remove the folder or give it to the administrators, then run the installer "
                  L"again.")
// The manifest file, the element, then why its value cannot be used.
KELM_STRING_ENTRY(IDS_ERR_MANIFEST_UNSAFE,
                  L"The installer cannot start: in its manifest file %s, %s cannot be used: %s.")
KELM_STRING_ENTRY(IDS_ERR_MODULE_PATH,
                  L"The installer cannot start: the location of its own program file is unavailable, so its "
                  L"manifest cannot be found.")

#undef KELM_STRING_ENTRY

// Current user-interface language and where its files lie.
struct LanguageResources {
    static constexpr int32_t kDefaultLangId = 2052;

    int32_t langId = kDefaultLangId;
    std::wstring languageFolder; // with trailing backslash
    // The language of this run's texts and slides when the user asked for one
    // ("/lang"); 0: langId's. langId stays what the installation records.
    int32_t textLangId = 0;

    int32_t TextLangId() const noexcept { return textLangId != 0 ? textLangId : langId; }
    // languageFolder + "<TextLangId()>\string.ini".
    std::wstring StringFilePath() const;
    // Takes a "/lang" value: when it is a language id whose folder beside the
    // installer has a "string.ini", this run's texts and slides come from it.
    // False (and nothing changed) otherwise.
    bool UseRequestedLanguage(const std::wstring& requested);
    // The translation from section "UISTRING", or the entry's default; at most 259
    // characters. The file is read anew on every call.
    std::wstring GetUiString(const StringEntry& entry) const;
    // The same from section "RLINK".
    std::wstring GetLink(const StringEntry& entry) const;
    // Full paths of "*.jpg" in languageFolder + "<TextLangId()>\slides\<scale>\" for the
    // screen's vertical DPI, in enumeration order, through the process-wide cache.
    std::vector<std::wstring> GetSlideImages() const;
    // The same scan for a given DPI, without the cache.
    std::vector<std::wstring> FindSlideImages(int dpi) const;
};

// Slide folder scale for a vertical DPI: 100, 125, 150 or 200.
int SlideScaleForDpi(int dpi) noexcept;

// Slide paths found once and then kept: an empty result is not kept, so the next
// call scans again; a filled one is never refreshed.
class SlideImageCache {
public:
    std::vector<std::wstring> Get(const LanguageResources& languages, int dpi);

private:
    std::vector<std::wstring> m_paths;
};

// The vertical DPI of the screen as the system reports it.
int ScreenDpiForSlides();

// Whether the user's region ("Nation" under HKCU\Control Panel\International\Geo)
// is one where the licence terms start unaccepted: the European Union, Japan,
// Canada and the United Kingdom.
bool IsOptInRegion();
// The same test for a GEOID.
bool IsOptInGeoId(int32_t geoId);

// Texts of the running configuration (theConfig.languages).
std::wstring GetUiString(const StringEntry& entry);
// The disk-space message (IDS_ERR_DISK_SPACE): the folder, then the megabytes
// needed and available, whole and rounded up.
std::wstring DiskSpaceMessage(const std::wstring& folder, std::uint64_t needed, std::uint64_t available);
std::wstring GetLink(const StringEntry& entry);
std::vector<std::wstring> GetSlideImages();

} // namespace kelm
