#include "wizard_e2e_fixture.h"

#include <msi.h>
#include <shlobj.h>

#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <map>

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

namespace {

// The wizard tests' data files: tests\wizard\data in the source folder.
std::string ReadTestData(const std::wstring& relative)
{
    bool ok = false;
    std::string text = ReadWholeFile(SourceFolderPath(L"tests\\wizard\\data\\" + relative), &ok);
    EXPECT_TRUE(ok) << "no test data " << std::string(relative.begin(), relative.end());
    return text;
}

using TemplateValues = std::map<std::string, std::string>;

// A data file with its placeholders filled: "@name@" takes the value of that
// name; a line holding "@name?@" is left out when that value is empty (an
// element the manifest does not give). A name without a value fails the test.
std::string FillTemplate(const std::string& text, const TemplateValues& values)
{
    std::string filled;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        const std::string line = text.substr(start, end - start);
        start = end;
        std::string out;
        bool keep = true;
        size_t at = 0;
        for (size_t open; (open = line.find('@', at)) != std::string::npos;) {
            const size_t close = line.find('@', open + 1);
            if (close == std::string::npos)
                break;
            out += line.substr(at, open - at);
            std::string name = line.substr(open + 1, close - open - 1);
            const bool optional = !name.empty() && name.back() == '?';
            if (optional)
                name.pop_back();
            const auto value = values.find(name);
            if (value == values.end())
                ADD_FAILURE() << "the test data has @" << name << "@, the test no value for it";
            else
                out += value->second;
            keep = keep && !(optional && (value == values.end() || value->second.empty()));
            at = close + 1;
        }
        out += line.substr(at);
        if (keep)
            filled += out;
    }
    return filled;
}

// Text as a JSON string.
std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        if (c == '\n')
            quoted += "\\n";
        else
            quoted += c;
    }
    return quoted + "\"";
}

// A route of the loopback server, written as JSON (the fields: tests/support/README.md).
class Route {
public:
    explicit Route(const std::string& path) : m_json("{\"path\": " + Quoted(path)) {}
    Route& Text(const std::string& name, const std::string& value)
    {
        return Fields(Quoted(name) + ": " + Quoted(value));
    }
    Route& Number(const std::string& name, long long value)
    {
        return Fields(Quoted(name) + ": " + std::to_string(value));
    }
    // Fields written as JSON already; nothing when empty.
    Route& Fields(const std::string& json)
    {
        if (!json.empty())
            m_json += ", " + json;
        return *this;
    }
    std::string Json() const { return m_json + "}"; }

private:
    std::string m_json;
};

} // namespace

std::string PortalPage()
{
    return ReadTestData(L"descriptors\\portal_page.xml");
}

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
    ASSERT_TRUE(LoopbackServer::Get().AddRoutes(Routes(script)));
    const std::wstring manifestPath = m_folder + L"\\config\\manifest.xml";
    DeleteFileW(manifestPath.c_str());
    if (!script.manifest)
        return;
    const std::string manifest = Manifest(script);
    UniqueFile file(CreateFileW(manifestPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    WriteFile(file.Get(), manifest.data(), static_cast<DWORD>(manifest.size()), &written, nullptr);
}

void WizardEndToEnd::ServeBehindTheProxy()
{
    RemoveProduct();
    m_servedHost = "zunder.invalid";
    Serve(ServerScript());
}

std::string WizardEndToEnd::ServedFolder() const
{
    std::string folder = Narrow(LoopbackServer::Get().Url(m_prefix));
    const std::string own = "127.0.0.1";
    if (!m_servedHost.empty() && folder.find(own) != std::string::npos)
        folder.replace(folder.find(own), own.size(), m_servedHost);
    return folder;
}

std::string WizardEndToEnd::Routes(const ServerScript& script) const
{
    Route descriptor(m_prefix + "version.xml");
    descriptor.Number("status", script.descriptorStatus)
        .Text("body", script.descriptorBody.empty() ? Descriptor(script) : script.descriptorBody);
    if (script.descriptorDelayMs > 0)
        descriptor.Number("piece_size", 64).Number("piece_delay_ms", script.descriptorDelayMs / 8);

    Route package(m_prefix + "Zunder.msi");
    if (script.packageStatus == 200)
        package.Text("file", "wiz_zunder.msi");
    else
        package.Number("status", script.packageStatus).Text("body", "<h1>Not Found</h1>");
    package.Number("piece_size", 4096).Number("piece_delay_ms", script.packageDelayMs);
    if (script.packageStallAfter > 0)
        package.Number("drop_after", script.packageStallAfter).Number("hold_ms", 300000);
    package.Fields(script.packageFields);

    std::string routes = "[" + descriptor.Json() + ", " + package.Json() + ", " +
                         Route(m_prefix + "newclient.exe").Text("file", script.clientFile).Json();
    if (!script.prerequisite.empty())
        routes += ", " + Route(m_prefix + script.prerequisite).Fields(script.prerequisiteFields).Json();
    return routes + "]";
}

std::string WizardEndToEnd::Descriptor(const ServerScript& script) const
{
    const TemplateValues values{
        {"base", ServedFolder()},
        {"fresh_minimum_client", script.freshMinimumClient},
        {"update_version", script.updateVersion},
        {"client_sha256", script.clientSha256},
    };
    return FillTemplate(ReadTestData(L"descriptors\\version.xml"), values);
}

std::string WizardEndToEnd::Manifest(const ServerScript& script) const
{
    std::string dependency;
    if (!script.prerequisite.empty()) {
        const TemplateValues values{
            {"base", ServedFolder()},
            {"name", script.prerequisite},
            {"arguments", script.prerequisiteArguments},
            {"size", script.prerequisiteSize},
            {"sha256", script.prerequisiteSha256},
            {"publisher", script.prerequisitePublisher},
        };
        dependency = FillTemplate(ReadTestData(L"manifests\\dependency.xml"), values);
        // It takes the place of a line of the manifest, whose own line break ends it.
        if (!dependency.empty() && dependency.back() == '\n')
            dependency.pop_back();
    }
    const TemplateValues values{
        {"base", ServedFolder()},
        {"pid", script.pid},
        {"standalone", script.standalone ? "true" : "false"},
        {"version_check_url", script.serverDown ? "http://127.0.0.1:1/version.xml" : ServedFolder() + "version.xml"},
        {"package_size", script.packageSize},
        {"package_sha256",
         !script.packageSha256.empty() || script.packageUnverified ? script.packageSha256 : s_packageSha256},
        {"dependency", dependency},
    };
    return FillTemplate(ReadTestData(L"manifests\\manifest.xml"), values);
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

// The installer's requests for a file: its size queries (HEAD) and its downloads (GET).
size_t WizardEndToEnd::RequestCount(const std::string& file) const
{
    size_t count = 0;
    for (const LoggedRequest& request : LoopbackServer::Get().Requests(m_prefix + file))
        count += request.method == "GET" || request.method == "HEAD" ? 1 : 0;
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

void WizardEndToEnd::InstallTheProductSilently()
{
    RemoveProduct();
    // As on a new machine: no folder of an earlier installation, so the package
    // goes to its own default folder (a first silent installation takes the
    // installer's folder only when it exists).
    RemoveFolderTree(L"C:\\Program Files\\Kelmware");
    Serve(ServerScript());
    Start(L"/s /n /log " + LogPath());
    WaitUntil([&] { return !m_installer.IsRunning(); }, 240000);
    ASSERT_EQ(ExitCodeWithin(0), 0) << RunLog();
    ASSERT_TRUE(ProductInstalled());
    LoopbackServer::Get().Reset(m_prefix);
    RemoveFolderTree(WorkFolder());
    DeleteFileW(LogPath().c_str());
    DeleteFileW(UrlLog().c_str());
    DeleteFileW((FromUnix(KELM_URL_RECORDER) + L".parent").c_str());
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
