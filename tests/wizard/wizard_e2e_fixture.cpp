#include "wizard_e2e_fixture.h"

#include <msi.h>
#include <shlobj.h>

#include <cmath>
#include <cstdlib>

#include "gui_driver.h"
#include "res/resource.h"
#include "support/loopback_server.h"
#include "support/msi_products.h"
#include "support/temp_folder.h"
#include "support/test_paths.h"
#include "transfer/sha256.h"
#include "wizard/wizard_rules.h"

namespace kelm::test {

const std::wstring kConnectText =
    L"Unable to contact the download server. Check your Internet connection and try again. If the issue persists, "
    L"please contact Customer Care.";
const std::wstring kCancelQuestion = L"Are you sure you want to cancel the installing process?";

const std::string kPortalPage =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Sign in"
    "</title></head><body><form action=\"/login\"><input name=\"user\"/></form></body></html>";

namespace {

constexpr char kProductCodeA[] = "{6F1D2C3B-4A5E-4F60-8172-93A4B5C6D7E8}";
constexpr char kUpgradeCodeA[] = "{0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9}";

} // namespace

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Narrow(const std::wstring& text)
{
    std::string result;
    for (wchar_t c : text)
        result += static_cast<char>(c);
    return result;
}

std::wstring FromUnix(const char* path) { return UnixPathToWindows(path); }

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ReadLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    const std::string text = ReadWholeFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string ArgumentsOf(const std::string& commandLine)
{
    size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == '"')
        i = commandLine.find('"', 1) + 1;
    else
        i = commandLine.find(' ');
    if (i == std::string::npos || i >= commandLine.size())
        return {};
    std::string rest = commandLine.substr(i);
    rest.erase(0, rest.find_first_not_of(' '));
    while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' '))
        rest.pop_back();
    return rest;
}

std::string Sha256Text(const std::string& bytes)
{
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return Narrow(hash.Finish());
}

std::wstring SignedSample(const wchar_t* name)
{
    return BuildFolderPath(std::wstring(L"tests\\signed\\") + name);
}

bool ProductInstalled()
{
    return IsProductInstalled(kProductCode);
}

std::wstring InstalledLocation()
{
    wchar_t location[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (MsiGetProductInfoW(kProductCode, INSTALLPROPERTY_INSTALLLOCATION, location, &size) != ERROR_SUCCESS)
        return {};
    std::wstring folder(location, size);
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

std::wstring RegisteredProgram()
{
    wchar_t path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KelmTests\\Wizard\\080", L"exe", RRF_RT_REG_SZ, nullptr, path,
                     &size) != ERROR_SUCCESS)
        return {};
    return path;
}

void RemoveProduct()
{
    kelm::test::RemoveProduct(kProductCode);
}

void ForgetRegisteredProgram()
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KelmTests\\Wizard\\080", L"exe");
}

void SetScreenDpi(DWORD dpi)
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    RegCloseKey(key);
}

std::string Element(const std::string& name, const std::string& text)
{
    return text.empty() ? std::string() : "      <" + name + ">" + text + "</" + name + ">\n";
}

SavedEnvironmentVariable::SavedEnvironmentVariable(std::wstring name, const std::wstring& value)
    : m_name(std::move(name))
{
    wchar_t old[4096] = {};
    const DWORD length = GetEnvironmentVariableW(m_name.c_str(), old, 4096);
    m_had = length > 0 && length < 4096;
    m_old = m_had ? std::wstring(old, length) : std::wstring();
    SetEnvironmentVariableW(m_name.c_str(), value.c_str());
}

SavedEnvironmentVariable::~SavedEnvironmentVariable()
{
    SetEnvironmentVariableW(m_name.c_str(), m_had ? m_old.c_str() : nullptr);
}

namespace {

const std::wstring kWineProgramSettings = L"Software\\Wine\\AppDefaults\\";

} // namespace

NativeDllsFirst::NativeDllsFirst(std::vector<std::wstring> programs, const std::vector<std::wstring>& dlls)
    : m_programs(std::move(programs))
{
    for (const std::wstring& program : m_programs) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, (kWineProgramSettings + program + L"\\DllOverrides").c_str(), 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            continue;
        for (const std::wstring& dll : dlls) {
            const std::wstring name = dll.substr(0, dll.size() - 4); // without ".dll"
            const wchar_t order[] = L"native,builtin";
            RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof order);
        }
        RegCloseKey(key);
    }
}

NativeDllsFirst::~NativeDllsFirst()
{
    for (const std::wstring& program : m_programs)
        RegDeleteTreeW(HKEY_CURRENT_USER, (kWineProgramSettings + program).c_str());
}

void WizardEndToEnd::SetUpTestSuite()
{
    const LoopbackServer& server = LoopbackServer::Get();
    ASSERT_TRUE(server.IsReady()) << server.Problem();
    bool ok = false;
    const std::string package = ReadWholeFile(FromUnix(KELM_WIZARD_PACKAGE), &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(server.PutFile("wiz_zunder.msi", package));
    s_packageSha256 = Sha256Text(package);
    const std::string client = ReadWholeFile(FromUnix(KELM_PRODUCT_STUB), &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(server.PutFile("wiz_newclient.exe", client));
    for (const wchar_t* signer : {L"vendor", L"other", L"unsigned"}) {
        const std::string sample = ReadWholeFile(SignedSample((std::wstring(L"sample-") + signer + L".exe").c_str()));
        ASSERT_FALSE(sample.empty());
        ASSERT_TRUE(server.PutFile("wiz_client_" + Narrow(signer) + ".exe", sample));
    }
    const std::string slowSetup = ReadWholeFile(FromUnix(KELM_RECORD_ARGS), &ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(server.PutFile("wiz_slow_setup.exe", slowSetup));
    CreateDirectoryW(L"C:\\kelmwiz", nullptr);
    RemoveProduct();
}

void WizardEndToEnd::SetUp()
{
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    m_name = Widen(name);
    m_prefix = "/wiz/" + name + "/";
    m_folder = L"C:\\kelmwiz\\" + m_name;
    RemoveFolderTree(m_folder);
    CreateDirectoryW(m_folder.c_str(), nullptr);
    CreateDirectoryW((m_folder + L"\\config").c_str(), nullptr);
    m_installFolder = L"C:\\kelmwiz\\installed_" + m_name;
    // The product's work folder is shared by every run of the product: each test starts without it.
    RemoveFolderTree(WorkFolder());
    DeleteFileW(ProgramLog().c_str()); // left by an earlier run; removing the product keeps it
    LoopbackServer::Get().Reset(m_prefix);
    ASSERT_TRUE(CopyFileW(FromUnix(KELM_INSTALLER_EXE).c_str(), (m_folder + L"\\KelmWebInstaller.exe").c_str(),
                          FALSE));
    // Pages the installer opens go to the recorder, never to a browser.
    for (const wchar_t* scheme : {L"http", L"https"}) {
        m_browsers.push_back(std::make_unique<SavedRegistryValue>(
            HKEY_CLASSES_ROOT, std::wstring(scheme) + L"\\shell\\open\\command", L""));
        ASSERT_TRUE(m_browsers.back()->Set(L"\"" + FromUnix(KELM_URL_RECORDER) + L"\" \"%1\""));
    }
    DeleteFileW(UrlLog().c_str());
    DeleteFileW((FromUnix(KELM_URL_RECORDER) + L".parent").c_str());
}

void WizardEndToEnd::TearDown()
{
    m_installer.Terminate();
    SetScreenDpi(96);
    m_browsers.clear();
}

void WizardEndToEnd::Serve(const ServerScript& script)
{
    const LoopbackServer& server = LoopbackServer::Get();
    const std::string base = Narrow(server.Url(""));
    const std::string clientHash =
        script.clientSha256.empty()
            ? std::string()
            : "    <web_installer_sha256>" + script.clientSha256 + "</web_installer_sha256>\n";
    const std::string descriptor =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<kelmwebinstaller>\n"
        "  <product_code>" + std::string(kProductCodeA) + "</product_code>\n"
        "  <fresh_install>\n    <product_version>8.0.1.0</product_version>\n"
        "    <min_web_installer_version>" + script.freshMinimumClient + "</min_web_installer_version>\n"
        "    <web_installer_download_url>" + base + m_prefix + "newclient.exe</web_installer_download_url>\n" +
        clientHash +
        "  </fresh_install>\n  <patch_install>\n    <product_version>" + script.updateVersion + "</product_version>\n"
        "    <min_web_installer_version>1.0.0.0</min_web_installer_version>\n"
        "    <web_installer_download_url>" + base + m_prefix + "newclient.exe</web_installer_download_url>\n" +
        clientHash +
        "  </patch_install>\n</kelmwebinstaller>\n";
    std::string body;
    for (char c : script.descriptorBody.empty() ? descriptor : script.descriptorBody) {
        if (c == '"' || c == '\\')
            body += '\\';
        if (c == '\n')
            body += "\\n";
        else
            body += c;
    }
    const std::string routes =
        "[{\"path\": \"" + m_prefix + "version.xml\", \"status\": " + std::to_string(script.descriptorStatus) +
        ", \"body\": \"" + body + "\"" +
        (script.descriptorDelayMs > 0 ? ", \"piece_size\": 64, \"piece_delay_ms\": " +
                                            std::to_string(script.descriptorDelayMs / 8)
                                      : std::string()) +
        "}, {\"path\": \"" + m_prefix + "Zunder.msi\", " +
        (script.packageStatus == 200 ? std::string("\"file\": \"wiz_zunder.msi\"")
                                     : "\"status\": " + std::to_string(script.packageStatus) +
                                           ", \"body\": \"<h1>Not Found</h1>\"") +
        ", \"piece_size\": 4096, \"piece_delay_ms\": " + std::to_string(script.packageDelayMs) +
        (script.packageStallAfter > 0
             ? ", \"drop_after\": " + std::to_string(script.packageStallAfter) + ", \"hold_ms\": 300000"
             : std::string()) +
        script.packageFields +
        "}, {\"path\": \"" + m_prefix + "newclient.exe\", \"file\": \"" + script.clientFile + "\"}" +
        (script.prerequisite.empty() ? std::string()
                                     : ", {\"path\": \"" + m_prefix + script.prerequisite + "\", " +
                                           script.prerequisiteFields + "}") +
        "]";
    ASSERT_TRUE(server.AddRoutes(routes));

    const std::string packageSha256 =
        !script.packageSha256.empty() || script.packageUnverified ? script.packageSha256 : s_packageSha256;
    const std::string versionUrl =
        script.serverDown ? "http://127.0.0.1:1/version.xml" : base + m_prefix + "version.xml";
    const std::string manifest =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<kelmwebinstaller>\n"
        "  <web_installer_version>2.0.0.5</web_installer_version>\n"
        "  <product_code>" + std::string(kProductCodeA) + "</product_code>\n"
        "  <upgrade_code>" + std::string(kUpgradeCodeA) + "</upgrade_code>\n"
        "  <product>\n    <pid>" + script.pid + "</pid>\n    <full_name>Zunder Pro 8</full_name>\n"
        "    <short_name>Zunder</short_name>\n"
        "    <registry>SOFTWARE\\KelmTests\\Wizard\\080</registry>\n"
        "    <prev_registry>SOFTWARE\\KelmTests\\Wizard\\075</prev_registry>\n"
        "    <standalone>" + std::string(script.standalone ? "true" : "false") +
        "</standalone>\n    <standalone_version>8.0.2.0</standalone_version>\n"
        "    <version_check_url>" + versionUrl + "</version_check_url>\n"
        "    <main_component>\n      <name>Zunder.msi</name>\n      <executable>bin\\Zunder.exe</executable>\n"
        "      <full_url>" + base + m_prefix + "Zunder.msi</full_url>\n"
        "      <patch_url>" + base + m_prefix + "Zunder.msi</patch_url>\n" +
        Element("full_size", script.packageSize) + Element("full_sha256", packageSha256) +
        Element("patch_size", script.packageSize) + Element("patch_sha256", packageSha256) +
        "    </main_component>\n" +
        (script.prerequisite.empty()
             ? std::string()
             : "    <dependency>\n      <name>" + script.prerequisite + "</name>\n      <full_url>" + base +
                   m_prefix + script.prerequisite + "</full_url>\n" +
                   "      <install_commandline>" + script.prerequisiteArguments + "</install_commandline>\n" +
                   Element("size", script.prerequisiteSize) + Element("sha256", script.prerequisiteSha256) +
                   Element("publisher", script.prerequisitePublisher) + "    </dependency>\n") +
        "  </product>\n</kelmwebinstaller>\n";
    const std::wstring manifestPath = m_folder + L"\\config\\manifest.xml";
    DeleteFileW(manifestPath.c_str());
    if (!script.manifest)
        return;
    UniqueFile file(CreateFileW(manifestPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    WriteFile(file.Get(), manifest.data(), static_cast<DWORD>(manifest.size()), &written, nullptr);
}

void WizardEndToEnd::Start(const std::wstring& arguments)
{
    ASSERT_TRUE(m_installer.Start(m_folder + L"\\KelmWebInstaller.exe", arguments, m_folder));
}

std::wstring WizardEndToEnd::WorkFolder()
{
    wchar_t data[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data);
    return std::wstring(data) + L"\\Kelmware\\Web Installer\\ZP80\\";
}

std::string WizardEndToEnd::RunLog() const { return ReadWholeFile(LogPath()); }

std::string WizardEndToEnd::WatchSilentRun(DWORD timeoutMs)
{
    std::string seen;
    WaitUntil(
        [&] {
            if (seen.empty())
                seen = VisibleOrActiveWindow(m_installer.Id());
            return !m_installer.IsRunning();
        },
        timeoutMs, 20);
    return seen;
}

long WizardEndToEnd::ExitCodeWithin(DWORD milliseconds) const
{
    DWORD code = 0;
    return m_installer.WaitForExit(milliseconds, &code) ? static_cast<long>(code) : -1;
}

size_t WizardEndToEnd::RequestCount(const std::string& file) const
{
    size_t count = 0;
    for (const LoggedRequest& request : LoopbackServer::Get().Requests(m_prefix + file))
        count += request.method == "GET" ? 1 : 0;
    return count;
}

HWND WizardEndToEnd::WaitForWizard(int timeoutMs)
{
    HWND wizard = nullptr;
    WaitUntil([&] { return (wizard = FindWizard(m_installer.Id())) != nullptr || !m_installer.IsRunning(); },
              timeoutMs);
    return wizard;
}

HWND WizardEndToEnd::WaitForPanel(HWND wizard, int item, int timeoutMs)
{
    HWND panel = nullptr;
    WaitUntil([&] { return (panel = FindVisiblePanelWith(wizard, item)) != nullptr || !m_installer.IsRunning(); },
              timeoutMs);
    if (panel != nullptr)
        WaitResponsive(wizard);
    return panel;
}

HWND WizardEndToEnd::WaitForMessageBox(int timeoutMs)
{
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindMessageBox(m_installer.Id())) != nullptr || !m_installer.IsRunning(); },
              timeoutMs);
    return box;
}

std::vector<std::string> WizardEndToEnd::OpenedPages()
{
    std::vector<std::string> pages;
    for (const std::string& line : ReadLines(UrlLog()))
        pages.push_back(ArgumentsOf(line));
    return pages;
}

std::vector<std::string> WizardEndToEnd::PageOpeners()
{
    return ReadLines(FromUnix(KELM_URL_RECORDER) + L".parent");
}

void WizardEndToEnd::WriteLanguageLinks(const std::wstring& termsLink)
{
    const std::wstring folder = m_folder + L"\\language\\2052";
    CreateDirectoryW((m_folder + L"\\language").c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::string text = "[RLINK]\r\nIDS_RLINK_TERMS=" + Narrow(termsLink) +
                             "\r\nIDS_RLINK_SLIDE_SHOW=" + Narrow(kTourPage) + "\r\n";
    UniqueFile file(CreateFileW((folder + L"\\string.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
}

HWND WizardEndToEnd::OpenFolderBrowser(HWND wizard, HWND settings, const wchar_t* selected)
{
    ClickItem(settings, IDC_BROWSE_BUTTON);
    HWND browser = nullptr;
    WaitUntil([&] { return (browser = FindFolderBrowser(m_installer.Id())) != nullptr || !m_installer.IsRunning(); },
              20000);
    EXPECT_NE(browser, nullptr);
    if (browser == nullptr)
        return nullptr;
    WaitResponsive(browser);
    EXPECT_FALSE(IsWindowEnabled(wizard)) << "the dialog is modal to the wizard";
    HWND name = FindDescendant(browser, L"Edit");
    EXPECT_NE(name, nullptr);
    if (selected != nullptr) {
        EXPECT_TRUE(name != nullptr && WaitUntil([&] { return WindowText(name) == selected; }, 5000))
            << Narrow(WindowText(name));
    }
    return browser;
}

void WizardEndToEnd::CloseFolderBrowser(HWND browser, int buttonId)
{
    PostMessageW(browser, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(browser, buttonId)));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(browser); }, 10000));
}

std::wstring WizardEndToEnd::UrlLog() { return FromUnix(KELM_URL_RECORDER) + L".log"; }

void WizardEndToEnd::ExpectPageDrawn(HWND page, double scale, int iconTop96)
{
    const WindowPicture picture = CaptureWindow(page);
    ASSERT_FALSE(picture.pixels.empty()) << "the screen could not be read";
    auto white = [](COLORREF c) { return GetRValue(c) > 225 && GetGValue(c) > 225 && GetBValue(c) > 225; };
    auto blue = [](COLORREF c) {
        return std::abs(GetRValue(c) - 7) < 40 && std::abs(GetGValue(c) - 165) < 40 &&
               std::abs(GetBValue(c) - 216) < 40;
    };
    const int area = static_cast<int>(scale * scale);
    const RECT logo{picture.width - static_cast<LONG>(161 * scale), 0, picture.width, static_cast<LONG>(26 * scale)};
    EXPECT_GT(picture.Count(logo, blue), 30 * area) << "no logo tile";
    EXPECT_GT(picture.Count(logo, white), 30 * area) << "no logo letters";
    if (iconTop96 <= 0)
        return;
    const RECT icon = PanelIconRect(CRect(0, 0, picture.width, picture.height), scale, iconTop96);
    const LONG size = icon.right - icon.left;
    const LONG middle = (icon.top + icon.bottom) / 2;
    const RECT mark{icon.left + size / 2 - size / 16, middle - size / 16, icon.left + size / 2 + size / 16,
                    middle + size / 16};
    const RECT disc{icon.left + size / 5, middle - size / 16, icon.left + size / 5 + size / 8, middle + size / 16};
    EXPECT_EQ(picture.Count(mark, white), (mark.right - mark.left) * (mark.bottom - mark.top)) << "no play mark";
    EXPECT_EQ(picture.Count(disc, blue), (disc.right - disc.left) * (disc.bottom - disc.top)) << "no disc";
    const RECT title{icon.left - static_cast<LONG>(150 * scale), icon.bottom,
                     icon.right + static_cast<LONG>(150 * scale), icon.bottom + static_cast<LONG>(45 * scale)};
    EXPECT_GT(picture.Count(title, white), 40 * area) << "no title under the icon";
}

void WizardEndToEnd::SavePicture(HWND window, const std::wstring& name)
{
    const std::wstring folder = FromUnix(KELM_SCREENSHOT_DIR);
    CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_TRUE(SaveWindowPicture(window, folder + L"\\" + name + L".bmp")) << Narrow(name);
}

void WizardEndToEnd::StartInstalling(const ServerScript& script, HWND& wizard, HWND& status)
{
    RemoveProduct();
    ASSERT_FALSE(ProductInstalled());
    Serve(script);
    Start(L"/n");
    wizard = WaitForWizard();
    ASSERT_NE(wizard, nullptr);
    status = InstallFromSettings(wizard);
    ASSERT_NE(status, nullptr);
}

HWND WizardEndToEnd::InstallFromSettings(HWND wizard)
{
    HWND settings = WaitForPanel(wizard, IDC_INSTALL_BUTTON, 30000);
    EXPECT_NE(settings, nullptr);
    if (settings == nullptr)
        return nullptr;
    SetWindowTextOf(GetDlgItem(settings, IDC_FOLDER_EDIT), m_installFolder);
    ClickItem(settings, IDC_INSTALL_BUTTON);
    return WaitForPanel(wizard, IDC_TIME_LABEL, 20000);
}

HWND WizardEndToEnd::FollowProgress(HWND wizard, std::set<std::wstring>* percents, std::set<std::wstring>* times,
                                    int timeoutMs)
{
    HWND success = nullptr;
    WaitUntil(
        [&] {
            if (HWND item = FindPanelItem(wizard, IDC_PERCENT_LABEL); item != nullptr && percents != nullptr)
                percents->insert(WindowText(item));
            if (HWND item = FindPanelItem(wizard, IDC_TIME_LABEL); item != nullptr && times != nullptr)
                times->insert(WindowText(item));
            success = FindVisiblePanelWith(wizard, IDC_LAUNCH_CHECK);
            return success != nullptr || !m_installer.IsRunning();
        },
        timeoutMs, 200);
    return success;
}

} // namespace kelm::test
