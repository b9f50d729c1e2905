#pragma once
// The fixture of the wizard's end-to-end tests: the real installer, copied into
// a folder of its own per test, run under Wine and Xvfb against the loopback
// test server, and driven from this program. Helpers read the product's state
// (installed, registered, started) and what the installer left behind.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "driving/process_windows.h"
#include "support/registry_cleanup.h"

namespace kelm::test {

constexpr wchar_t kProductCode[] = L"{6F1D2C3B-4A5E-4F60-8172-93A4B5C6D7E8}";
constexpr wchar_t kHomePage[] = L"http://127.0.0.1/zunder/welcome.html";
constexpr wchar_t kFullName[] = L"Zunder Pro 8";

// Pages the links open, given to the installer through its language file.
constexpr wchar_t kTermsPage[] = L"http://127.0.0.1/zunder/terms.html";
constexpr wchar_t kTourPage[] = L"http://127.0.0.1/zunder/tour.html";

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
std::wstring FromUnix(const char* path);
bool FileExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
std::vector<std::string> ReadLines(const std::wstring& path);
// The arguments of a logged command line: what follows the (quoted) program path.
std::string ArgumentsOf(const std::string& commandLine);
std::string Sha256Text(const std::string& bytes);
// A program of the build signed by the vendor, by another publisher, or not at all.
std::wstring SignedSample(const wchar_t* name);

bool ProductInstalled();
// Where the Windows Installer says the product lies, without a trailing backslash.
std::wstring InstalledLocation();
// The "exe" value the installation wrote under the product's registry key.
std::wstring RegisteredProgram();
void RemoveProduct();
// The "exe" value of an earlier installation (removing the product keeps it).
void ForgetRegisteredProgram();
// The display's DPI for programs started afterwards (the fixture puts 96 back).
void SetScreenDpi(DWORD dpi);

struct ServerScript {
    std::string freshMinimumClient = "1.0.0.0";
    std::string updateVersion = "8.1.0.0";
    int packageDelayMs = 10;     // pause after every 4096 bytes of the package
    int descriptorDelayMs = 0;   // pause before the descriptor's body
    bool serverDown = false;
    int descriptorStatus = 200;
    std::string descriptorBody;  // instead of the descriptor (a portal's page, an error page)
    int packageStatus = 200;     // of the main package
    int packageStallAfter = 0;   // > 0: the package's server goes silent after this many bytes
    bool standalone = false;     // packages from the installer's folders; nothing fetched
    bool manifest = true;        // false: no manifest beside the installer
    std::string clientSha256;    // the descriptor's hash of the newer client; none when empty
    std::string clientFile = "wiz_client_vendor.exe"; // what the newer client's address serves
    std::string packageFields;   // more route fields of the main package ("\"attempts\": ...")
    std::string packageSize;     // the manifest's size and hash of the main package; none when empty
    std::string packageSha256;
    // A prerequisite before the main package, when it has a name: its route's
    // fields (body and all) and the manifest's size and hash of it.
    std::string prerequisite;
    std::string prerequisiteFields;
    std::string prerequisiteSize;
    std::string prerequisiteSha256;
    std::string prerequisiteArguments = "/quiet";
    std::string prerequisitePublisher;
    // The main package without its SHA-256 in the manifest (by default the
    // manifest gives it: a package over plain HTTP needs one, or a publisher).
    bool packageUnverified = false;
    std::string pid = "ZP80";
};

// An environment variable of this process (inherited by the programs it
// starts) set for the test and put back afterwards.
class SavedEnvironmentVariable {
public:
    SavedEnvironmentVariable(std::wstring name, const std::wstring& value);
    ~SavedEnvironmentVariable();
    SavedEnvironmentVariable(const SavedEnvironmentVariable&) = delete;
    SavedEnvironmentVariable& operator=(const SavedEnvironmentVariable&) = delete;

private:
    std::wstring m_name;
    std::wstring m_old;
    bool m_had = false;
};

// Wine's settings for some programs (HKCU\Software\Wine\AppDefaults\<program>\DllOverrides):
// the given DLLs are taken from the search path before Wine's own; removed afterwards.
class NativeDllsFirst {
public:
    NativeDllsFirst(std::vector<std::wstring> programs, const std::vector<std::wstring>& dlls);
    ~NativeDllsFirst();
    NativeDllsFirst(const NativeDllsFirst&) = delete;
    NativeDllsFirst& operator=(const NativeDllsFirst&) = delete;

private:
    std::vector<std::wstring> m_programs;
};

class WizardEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    // Routes for the test's path on the server, and the manifest beside the installer.
    void Serve(const ServerScript& script);
    // The test's folder on the server: "http://127.0.0.1:<port>/wiz/<test>/".
    std::string ServedFolder() const;
    // The product removed, and the default script served under a host name that
    // only the test server, as a proxy, answers for.
    void ServeBehindTheProxy();
    // Serves behind the proxy, starts an interactive run through it and waits
    // for the system's credentials dialog; null when none came.
    HWND StartUntilTheProxyAsks(const std::string& proxy);
    // The server's routes as JSON, the descriptor and the manifest: the data
    // files' templates (tests/wizard/data) filled for this test.
    std::string Routes(const ServerScript& script) const;
    std::string Descriptor(const ServerScript& script) const;
    std::string Manifest(const ServerScript& script) const;
    void Start(const std::wstring& arguments);

    std::wstring LogPath() const { return m_folder + L"\\run.log"; }
    // Where the installer keeps its downloads: the product's folder under program data.
    static std::wstring WorkFolder();
    std::string RunLog() const;

    // Watches a silent run until its end: the first window of the installer that
    // was visible (a zero-size one too) or took the foreground, described, or empty.
    std::string WatchSilentRun(DWORD timeoutMs);
    // Waits for the installer's end; its exit code, or -1 when it still runs.
    long ExitCodeWithin(DWORD milliseconds) const;
    size_t RequestCount(const std::string& file) const;

    HWND WaitForWizard(int timeoutMs = 60000);
    // The page with `item` once it shows and the wizard answers messages again.
    HWND WaitForPanel(HWND wizard, int item, int timeoutMs);
    HWND WaitForMessageBox(int timeoutMs);

    // The pages opened so far, each as the quoted address the recorder was given.
    static std::vector<std::string> OpenedPages();
    // The processes that started the browser stand-in: web pages are opened by
    // the desktop shell, never by the elevated installer itself.
    static std::vector<std::string> PageOpeners();
    // A language file beside the installer that sets only the links' addresses.
    void WriteLanguageLinks(const std::wstring& termsLink = kTermsPage);

    // Presses "..." on the settings page and waits for the folder dialog; when
    // `selected` is given, its name box must show it, the folder it opened at.
    HWND OpenFolderBrowser(HWND wizard, HWND settings, const wchar_t* selected);
    // Answers the folder dialog with OK or Cancel and waits until it is gone.
    void CloseFolderBrowser(HWND browser, int buttonId);

    std::wstring ProgramPath() const { return m_installFolder + L"\\bin\\Zunder.exe"; }
    std::wstring ProgramLog() const { return ProgramPath() + L".log"; }
    static std::wstring UrlLog();

    // A region where the terms wait for the user's consent (put back after the test).
    void UseARegionWhereTheTermsWaitForConsent();
    // Starts the installer with `arguments` and waits for its settings page.
    void OpenTheSettingsPage(const std::wstring& arguments, HWND& wizard, HWND& settings);

    // Steps of the settings page's test.
    void ExpectInstallGreyUntilTheTermsAreAccepted(HWND wizard, HWND settings);
    void ExpectTheSeparatorToReachTheRightEdge(HWND settings);
    void CollapseAndExpandTheSettingsArea(HWND wizard, HWND settings);
    void ExpectEnterAndEscapeToChangeNothing(HWND wizard, HWND settings);
    void OpenTheTermsWithTheLicenceLink(HWND settings);
    void CancelTheFolderBrowser(HWND wizard, HWND settings, const std::wstring& pick);
    void ChooseFolderWithTheBrowser(HWND wizard, HWND settings, const std::wstring& pick);
    void SelectTheNextFolderInTheTree(HWND browser);
    void ExpectInstallToDoNothingUnticked(HWND wizard, HWND settings);
    void ExpectARelativeFolderRefused(HWND settings, const std::wstring& chosenLast);
    void InstallIntoANewNestedFolder(HWND wizard, HWND settings, HWND& status);
    void OpenTheTourWithTheSlideShow(HWND status);
    void CloseAndCancelTheInstallation(HWND wizard);

    // Steps of the fresh installation through all pages.
    void ExpectTheCheckDialogToRefuseClosing();
    void FollowTheStatusPageToSuccess(HWND wizard, HWND status, HWND& success);
    void StartNowTwiceOpensTheHomePageOnce(HWND success);

    // The keyboard tests and their steps.
    void InstallAndStartWithKeysAlone(DWORD dpi);
    void OpenTheSettingsPageInFrontAt(DWORD dpi, HWND& wizard, HWND& settings);
    void ExpectTheLicenceBoxFocusedWithoutACue(HWND wizard, HWND settings, DWORD dpi);
    void ExpectTheFocusCueOn(HWND wizard, HWND control, DWORD dpi, const std::wstring& picture, const char* name);
    void TabOnceRoundTheSettingsPage(HWND wizard, HWND settings, DWORD dpi);
    void OpenTheTermsWithEnterAndSpace(HWND wizard);
    void TickTheLicenceBoxWithSpace(HWND wizard, HWND settings);
    void WorkTheExpandArrowWithEnterAndSpace(HWND wizard, HWND settings);
    void InstallWithEnter(HWND wizard, HWND settings, DWORD dpi);
    void OpenTheTourWithEnter(HWND wizard, HWND status);
    void TabOnceRoundTheSuccessPage(HWND wizard, HWND success, DWORD dpi);
    void StartTheProductWithEnter();

    // Steps of the screen readers' test.
    void ExpectTheSettingsPageRead(HWND settings);
    void ExpectTheReadStatesToFollowTheUser(HWND wizard, HWND settings);
    void ReadTheStatusPageUnderTheCancelQuestion(HWND wizard, HWND status);
    void ExpectTheSuccessPageRead(HWND wizard, HWND success);

    // Steps of the newer clients' tests.
    void ExpectTheRunToEndWithoutAWindow();
    std::wstring TheOnlyNewerClient();
    void ExpectStartedOnceWith(const std::wstring& program, const std::string& arguments);
    void ExpectTheNewerClientRefused(const char* served, const std::string& sha256, bool unsignedInstaller,
                                     const char* why);

    // Steps of the cancel question's test during a download.
    void AnswerNoAndExpectTheDownloadToGoOn(HWND wizard, HWND status);
    void AnswerYesAndExpectTheRunToEnd(HWND wizard, HWND status);

    // Steps of the silent runs' test.
    void ExpectTheLogToTellTheSilentRunInOrder();
    void StartTheProductAfterASilentRunWithAnUnwritableLog();
    void ExpectNoClientCheckInASilentRunWithN(size_t descriptorFetches);

    // What a page shows, read from the screen as the user sees it: the logo
    // in its top-right corner (blue tile, white letters) and, on a page with
    // one (iconTop96 > 0), the product icon (white play mark on the blue disc)
    // with the white title under it. `scale`: the display's DPI / 96.
    static void ExpectPageDrawn(HWND page, double scale, int iconTop96);
    void SavePicture(HWND window, const std::wstring& name);

    // The product freshly installed by a silent run, for tests that start from an
    // installed product; the run's requests, downloads, log and pages are then
    // forgotten, so that the test sees only its own.
    void InstallTheProductSilently();
    // With the product removed: serves script, starts the installer and installs
    // from the settings page; wizard and status are its window and status page.
    void StartInstalling(const ServerScript& script, HWND& wizard, HWND& status);
    // Settings page: folder, Install; returns the status page.
    HWND InstallFromSettings(HWND wizard);
    // Follows the status page to the success page; the percentages seen go to *percents.
    HWND FollowProgress(HWND wizard, std::set<std::wstring>* percents = nullptr,
                        std::set<std::wstring>* times = nullptr, int timeoutMs = 240000);

    std::wstring m_name;
    std::string m_prefix;
    // The host the manifest and the descriptor name instead of 127.0.0.1 (a
    // name only the test server as a proxy answers for); empty: the server's own.
    std::string m_servedHost;
    std::wstring m_folder;
    std::wstring m_installFolder;
    ChildProcess m_installer;
    std::vector<std::unique_ptr<SavedRegistryValue>> m_browsers;
    std::unique_ptr<SavedRegistryValue> m_region;
    static inline std::string s_packageSha256; // of the served package
};

extern const std::wstring kConnectText;
extern const std::wstring kCancelQuestion;
// What a captive portal or a proxy's login page answers instead of the descriptor.
std::string PortalPage();

} // namespace kelm::test
