// The real installer, run under Wine and Xvfb against the loopback test server,
// driven from this program: start-up with the client check, the three pages,
// installation through the Windows Installer, cancellation, silent runs.
// Each test starts from the product's state it needs (installed or not), so
// that it passes alone and in any order.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "gui_driver.h"
#include "res/resource.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"
#include "wizard_e2e_fixture.h"

namespace kelm::test {

namespace {

LONG WindowHeight(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
}

// Brings the wizard to the front, where the keys go; false when it does not come.
bool BroughtToFront(HWND wizard)
{
    SetForegroundWindow(wizard);
    return WaitUntil([&] { return GetForegroundWindow() == wizard; }, 10000);
}

// The status page's percentage, as a number.
double PercentShown(HWND status)
{
    return _wtof(WindowText(GetDlgItem(status, IDC_PERCENT_LABEL)).c_str());
}

} // namespace

// A server that cannot be reached, and one that answers with something that is
// not the descriptor, look the same to the user: the connection message, then the end.
TEST_F(WizardEndToEnd, ServerDownStopsAfterTheConnectionMessage)
{
    for (const bool portal : {false, true}) {
        SCOPED_TRACE(portal ? "a portal's page instead of the descriptor" : "server down");
        LoopbackServer::Get().Reset(m_prefix);
        ServerScript script;
        script.serverDown = !portal;
        if (portal)
            script.descriptorBody = PortalPage();
        Serve(script);
        Start(L"");
        bool wizardSeen = false;
        HWND box = nullptr;
        WaitUntil(
            [&] {
                wizardSeen = wizardSeen || FindWizard(m_installer.Id()) != nullptr;
                return (box = FindMessageBox(m_installer.Id())) != nullptr || !m_installer.IsRunning();
            },
            60000);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(MessageBoxText(box), kConnectText);
        EXPECT_EQ(WindowText(box), L"Zunder");
        AnswerMessageBox(box, IDOK);
        EXPECT_EQ(ExitCodeWithin(30000), 20) << "server unreachable";
        EXPECT_FALSE(wizardSeen);
    }
}

// Runs that cannot install end by themselves with the exit code that says why:
// silent ones without any window and within seconds, the reason in their log.
// Silent runs against a server that breaks off, with the manifest's sizes and
// hashes: each download goes on from the bytes it had, and what is installed
// is what the vendor published.
TEST_F(WizardEndToEnd, ABrokenDownloadGoesOnFromTheBytesItHadAndInstalls)
{
    RemoveProduct();
    const std::string package = ReadWholeFile(FromUnix(KELM_WIZARD_PACKAGE));
    ServerScript script;
    script.packageDelayMs = 0;
    script.packageSize = std::to_string(package.size());
    script.packageSha256 = Sha256Text(package);
    // The size query, then the package reset at about half, then the rest. The
    // reset waits until the client has read what was sent (hold_ms): one sent at
    // once can overtake the reply, which then fails before any byte is read.
    script.packageFields = R"("ranges": true, "etag": "\"zunder-8.0.1\"", "attempts": [{}, {"drop_after": )" +
                           std::to_string(package.size() / 2) + R"(, "drop": "reset", "hold_ms": 1000}])";
    Serve(script);
    Start(L"/s /n /log " + LogPath());
    EXPECT_EQ(WatchSilentRun(120000), "");
    EXPECT_EQ(ExitCodeWithin(0), 0) << RunLog();
    EXPECT_TRUE(ProductInstalled());
    const auto requests = LoopbackServer::Get().Requests(m_prefix + "Zunder.msi");
    ASSERT_EQ(requests.size(), 3u);
    const std::string range = requests[2].Header("Range");
    ASSERT_EQ(range.rfind("bytes=", 0), 0u) << range;
    const unsigned long long from = std::stoull(range.substr(6));
    EXPECT_GT(from, 0u);
    EXPECT_LE(from, package.size() / 2);
    EXPECT_EQ(requests[2].Header("If-Range"), "\"zunder-8.0.1\"");
    EXPECT_NE(RunLog().find("verified: "), std::string::npos) << RunLog();
    RemoveProduct();
}

TEST_F(WizardEndToEnd, APrerequisiteRunsOnlyWithItsHashAndIsNotFetchedTwice)
{
    const std::string prerequisite = ReadWholeFile(FromUnix(KELM_PRODUCT_STUB));
    const std::wstring local = WorkFolder() + L"component\\prereq.exe";
    ServerScript script;
    script.packageDelayMs = 0;
    script.prerequisite = "prereq.exe";
    script.prerequisiteFields = R"("file": "wiz_newclient.exe", "etag": "\"p1\"")";
    script.prerequisiteSize = std::to_string(prerequisite.size());
    {
        SCOPED_TRACE("another hash: fetched twice, never started, the run fails");
        RemoveProduct();
        script.prerequisiteSha256 = std::string(64, 'e');
        Serve(script);
        Start(L"/s /n /log " + LogPath());
        WaitUntil([&] { return !m_installer.IsRunning(); }, 120000);
        EXPECT_EQ(ExitCodeWithin(0), 20) << RunLog();
        EXPECT_EQ(RequestCount("prereq.exe"), 3u); // its size, then two downloads
        EXPECT_FALSE(FileExists(local));
        EXPECT_FALSE(FileExists(local + L".log")) << "the prerequisite was started";
        EXPECT_FALSE(ProductInstalled());
        EXPECT_NE(RunLog().find("is not the expected file"), std::string::npos) << RunLog();
    }
    script.prerequisiteSha256 = Sha256Text(prerequisite);
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run == 1 ? "its hash: installed" : "a second run: not fetched again");
        RemoveProduct();
        LoopbackServer::Get().Reset(m_prefix);
        Serve(script);
        Start(L"/s /n /log " + LogPath());
        WaitUntil([&] { return !m_installer.IsRunning(); }, 120000);
        EXPECT_EQ(ExitCodeWithin(0), 0) << RunLog();
        EXPECT_TRUE(ProductInstalled());
        EXPECT_EQ(RequestCount("prereq.exe"), run == 1 ? 2u : 0u);
        EXPECT_EQ(ReadLines(local + L".log").size(), static_cast<size_t>(run)) << "started once a run";
    }
    RemoveProduct();
}

// A prerequisite that the manifest gives a publisher for (and no hash) runs
// only when that publisher signed it.
TEST_F(WizardEndToEnd, APrerequisiteWithAPublisherRunsOnlyWhenThePublisherSignedIt)
{
    // Without a hash it gets a fresh name in the component folder: "<tick count>prereq.exe".
    auto ranOnce = [] {
        WIN32_FIND_DATAW entry;
        UniqueFind find(FindFirstFileW((WorkFolder() + L"component\\*prereq.exe.log").c_str(), &entry));
        return find && ReadLines(WorkFolder() + L"component\\" + entry.cFileName).size() == 1;
    };
    const struct {
        const char* served;
        bool runs;
    } cases[] = {{"wiz_client_vendor.exe", true}, {"wiz_client_other.exe", false}, {"wiz_client_unsigned.exe", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.served);
        RemoveProduct();
        RemoveFolderTree(WorkFolder());
        LoopbackServer::Get().Reset(m_prefix);
        ServerScript script;
        script.packageDelayMs = 0;
        script.prerequisite = "prereq.exe";
        script.prerequisiteFields = std::string(R"("file": ")") + c.served + "\"";
        script.prerequisitePublisher = "Kelmware Test Signing";
        Serve(script);
        DeleteFileW(LogPath().c_str());
        Start(L"/s /n /log " + LogPath());
        WaitUntil([&] { return !m_installer.IsRunning(); }, 120000);
        EXPECT_EQ(ExitCodeWithin(0), c.runs ? 0 : 20) << RunLog();
        EXPECT_EQ(ProductInstalled(), c.runs);
        EXPECT_EQ(ranOnce(), c.runs) << "the prerequisite ran";
        EXPECT_EQ(RequestCount("Zunder.msi"), c.runs ? 2u : 0u) << "nothing after a refused package is fetched";
        EXPECT_NE(RunLog().find(c.runs ? "verified: " : "refused: "), std::string::npos) << RunLog();
    }
    RemoveProduct();
}

// What nothing can vouch for, and what is larger than it may be, is refused
// before it is fetched or read on.
TEST_F(WizardEndToEnd, UnverifiableOrOversizedDownloadsAreRefusedUpFront)
{
    {
        SCOPED_TRACE("a package over plain HTTP with neither hash nor publisher");
        ServerScript script;
        script.packageUnverified = true;
        Serve(script);
        Start(L"/s /log " + LogPath());
        WaitUntil([&] { return !m_installer.IsRunning(); }, 60000);
        EXPECT_EQ(ExitCodeWithin(0), 21) << RunLog();
        EXPECT_EQ(RequestCount("version.xml"), 0u);
        EXPECT_EQ(RequestCount("Zunder.msi"), 0u);
        EXPECT_NE(RunLog().find("the package Zunder.msi: its address " + Narrow(LoopbackServer::Get().Url(m_prefix)) +
                                "Zunder.msi is plain HTTP and the manifest gives neither its SHA-256 nor its publisher"),
                  std::string::npos)
            << RunLog();
    }
    for (const char* body : {R"("body_size": 2097152)", R"("body_size": 104857600, "chunked": true)"}) {
        SCOPED_TRACE(body);
        LoopbackServer::Get().Reset(m_prefix);
        DeleteFileW(LogPath().c_str());
        ServerScript script;
        Serve(script);
        ASSERT_TRUE(LoopbackServer::Get().AddRoutes("[{\"path\": \"" + m_prefix + "version.xml\", " + body + "}]"));
        Start(L"/s /log " + LogPath());
        WaitUntil([&] { return !m_installer.IsRunning(); }, 60000);
        EXPECT_EQ(ExitCodeWithin(0), 20) << RunLog();
        EXPECT_EQ(RequestCount("Zunder.msi"), 0u);
        const std::string log = RunLog();
        const size_t line = log.find("failed: larger than a document may be");
        ASSERT_NE(line, std::string::npos) << log;
        const size_t received = log.rfind("received ", line);
        ASSERT_NE(received, std::string::npos);
        EXPECT_LE(std::stoull(log.substr(received + 9)), 1024u * 1024u) << "nothing read past the limit";
    }
}

// A folder of the work folder's path that is a link (a junction or a symbolic
// link) stops the run before anything is written there.
TEST_F(WizardEndToEnd, AWorkFolderWithALinkOnItsPathStopsTheRun)
{
    ServerScript script;
    script.pid = "ZP80-LINKED"; // the fixture made this product folder a symbolic link
    Serve(script);
    Start(L"/s /log " + LogPath());
    WaitUntil([&] { return !m_installer.IsRunning(); }, 60000);
    EXPECT_EQ(ExitCodeWithin(0), 24) << RunLog();
    EXPECT_EQ(RequestCount("version.xml"), 0u);
    EXPECT_NE(RunLog().find("its work folder C:\\ProgramData\\Kelmware\\Web Installer\\ZP80-LINKED could be changed by "
                            "somebody who is not an administrator (it is a junction or a symbolic link)"),
              std::string::npos)
        << RunLog();
    EXPECT_EQ(GetFileAttributesW(L"C:\\KelmTrustTarget\\component"), INVALID_FILE_ATTRIBUTES)
        << "nothing was made through the link";
}

// DLLs that anybody put beside the installer (a Downloads folder) or in its
// download folder never load into it, nor into the prerequisite it starts.
// Under Wine a DLL of a name Wine provides loads from the search path only when
// the program's settings ask for a native one first, which is what Windows does
// for every DLL outside its known-DLL list; the control shows that a program
// importing such a DLL at load time does load the canary.
TEST_F(WizardEndToEnd, DllsPlantedBesideTheInstallerNeverLoad)
{
    RemoveProduct();
    const std::wstring canaryLog = m_folder + L"\\canaries.log";
    const std::wstring names = KELM_CANARY_NAMES;
    std::vector<std::wstring> dlls;
    for (size_t at = 0; at <= names.size();) {
        const size_t comma = std::min(names.find(L',', at), names.size());
        dlls.push_back(names.substr(at, comma - at) + L".dll");
        at = comma + 1;
    }
    CreateDirectoryW((WorkFolder()).c_str(), nullptr);
    CreateDirectoryW((WorkFolder() + L"component").c_str(), nullptr);
    for (const std::wstring& dll : dlls) {
        const std::wstring canary = FromUnix(KELM_CANARY_DIR) + L"\\" + dll;
        ASSERT_TRUE(CopyFileW(canary.c_str(), (m_folder + L"\\" + dll).c_str(), FALSE)) << Narrow(dll);
        ASSERT_TRUE(CopyFileW(canary.c_str(), (WorkFolder() + L"component\\" + dll).c_str(), FALSE));
    }
    // Wine's per-program settings: a native DLL of these names first, as Windows would.
    NativeDllsFirst overrides({L"KelmWebInstaller.exe", L"prereq.exe", L"control.exe"}, dlls);
    SavedEnvironmentVariable recorder(L"KELM_CANARY_LOG", canaryLog);

    ServerScript script;
    script.packageDelayMs = 0;
    script.prerequisite = "prereq.exe";
    script.prerequisiteFields = R"("file": "wiz_client_vendor.exe")";
    script.prerequisiteSha256 = Sha256Text(ReadWholeFile(SignedSample(L"sample-vendor.exe")));
    Serve(script);
    Start(L"/s /log " + LogPath());
    WaitUntil([&] { return !m_installer.IsRunning(); }, 120000);
    EXPECT_EQ(ExitCodeWithin(0), 0) << RunLog();
    EXPECT_TRUE(ProductInstalled());
    EXPECT_EQ(ReadLines(WorkFolder() + L"component\\prereq.exe.log").size(), 1u) << "the prerequisite ran";
    EXPECT_EQ(ReadWholeFile(canaryLog), "") << "planted DLLs were loaded";

    // The control: a program importing d2d1.dll at load time, beside the same canaries.
    const std::wstring control = m_folder + L"\\control.exe";
    ASSERT_TRUE(CopyFileW(FromUnix(KELM_CANARY_CONTROL).c_str(), control.c_str(), FALSE));
    ChildProcess controlRun;
    ASSERT_TRUE(controlRun.Start(control, L"", m_folder));
    EXPECT_TRUE(controlRun.WaitForExit(30000));
    EXPECT_NE(ReadWholeFile(canaryLog).find("\\d2d1.dll in " + Narrow(control)), std::string::npos)
        << ReadWholeFile(canaryLog);
    RemoveProduct();
}

// A prerequisite of `size` pattern bytes (`seed`) that the installer counts as
// installed and never runs, served with ranges and an ETag, its size and
// SHA-256 in the manifest; `pace` adds the route fields of a slow line.
ServerScript ResumablePrerequisite(const std::string& name, size_t size, uint32_t seed, const std::string& pace)
{
    ServerScript script;
    script.packageDelayMs = 0;
    script.prerequisite = name;
    script.prerequisiteSize = std::to_string(size);
    script.prerequisiteSha256 = Sha256Text(PatternBytes(size, seed));
    script.prerequisiteFields = "\"body_size\": " + std::to_string(size) + ", \"seed\": " + std::to_string(seed) +
                                R"(, "ranges": true, "etag": "\"r1\"")" + pace;
    return script;
}

TEST_F(WizardEndToEnd, ARunEndedDuringADownloadIsGoneOnWithByTheNextRun)
{
    RemoveProduct();
    const size_t size = 3 * 1024 * 1024;
    ServerScript script = ResumablePrerequisite("extras.zip", size, 21, R"(, "piece_size": 16384, "piece_delay_ms": 30)");
    Serve(script);
    Start(L"/s /n /log " + LogPath());
    const std::wstring partial = WorkFolder() + L"component\\extras.zip.partial";
    // Ended from outside once a buffer of it is on the disk (the file is
    // open without sharing: its size is read from the folder).
    auto sizeOf = [](const std::wstring& path) -> size_t {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
    };
    ASSERT_TRUE(WaitUntil([&] { return sizeOf(partial) >= 1024 * 1024 || !m_installer.IsRunning(); }, 60000));
    m_installer.Terminate();
    const size_t had = ReadWholeFile(partial).size();
    ASSERT_GE(had, 1024u * 1024u);
    ASSERT_LT(had, size);
    ASSERT_TRUE(FileExists(partial + L".record"));

    LoopbackServer::Get().Reset(m_prefix);
    Serve(ResumablePrerequisite("extras.zip", size, 21, ""));
    Start(L"/s /n /log " + LogPath());
    WaitUntil([&] { return !m_installer.IsRunning(); }, 120000);
    EXPECT_EQ(ExitCodeWithin(0), 0) << RunLog();
    EXPECT_TRUE(ProductInstalled());
    const auto requests = LoopbackServer::Get().Requests(m_prefix + "extras.zip");
    ASSERT_EQ(requests.size(), 2u); // its size, then the rest
    EXPECT_EQ(requests[1].Header("Range"), "bytes=" + std::to_string(had) + "-");
    EXPECT_TRUE(ReadWholeFile(WorkFolder() + L"component\\extras.zip") == PatternBytes(size, 21));
    EXPECT_FALSE(FileExists(partial));
    RemoveProduct();
}

// On a slow line what arrived reaches the partial file every few seconds: a
// run killed 7 s into a download at 10 KB/s leaves more than 50 KB, and the
// next run asks for the rest after them.
TEST_F(WizardEndToEnd, ARunKilledOnASlowLineLosesOnlyItsLastSeconds)
{
    RemoveProduct();
    const size_t size = 400000;
    Serve(ResumablePrerequisite("slow.zip", size, 22, R"(, "piece_size": 1000, "piece_delay_ms": 100)"));
    Start(L"/s /n /log " + LogPath());
    auto bodyAsked = [&] {
        for (const LoggedRequest& request : LoopbackServer::Get().Requests(m_prefix + "slow.zip"))
            if (request.method == "GET")
                return true;
        return false;
    };
    ASSERT_TRUE(WaitUntil([&] { return bodyAsked() || !m_installer.IsRunning(); }, 60000));
    ::Sleep(7000);
    m_installer.Terminate();

    LoopbackServer::Get().Reset(m_prefix);
    Serve(ResumablePrerequisite("slow.zip", size, 22, ""));
    Start(L"/s /n /log " + LogPath());
    WaitUntil([&] { return !m_installer.IsRunning(); }, 120000);
    EXPECT_EQ(ExitCodeWithin(0), 0) << RunLog();
    std::vector<std::string> ranges;
    for (const LoggedRequest& request : LoopbackServer::Get().Requests(m_prefix + "slow.zip"))
        if (request.method == "GET")
            ranges.push_back(request.Header("Range"));
    ASSERT_EQ(ranges.size(), 1u);
    ASSERT_EQ(ranges[0].rfind("bytes=", 0), 0u) << ranges[0];
    EXPECT_GE(std::stoul(ranges[0].substr(6)), 50000ul) << ranges[0];
    EXPECT_TRUE(ReadWholeFile(WorkFolder() + L"component\\slow.zip") == PatternBytes(size, 22));
    RemoveProduct();
}

TEST_F(WizardEndToEnd, AVolumeWithoutRoomStopsBeforeAnyByteWithItsMessage)
{
    RemoveProduct();
    ServerScript script;
    script.prerequisite = "huge.zip";
    script.prerequisiteFields = R"("body_size": 1000)";
    script.prerequisiteSize = "1000000000000000"; // a petabyte
    script.prerequisiteSha256 = std::string(64, 'a');
    Serve(script);
    Start(L"/s /n /log " + LogPath());
    WaitUntil([&] { return !m_installer.IsRunning(); }, 60000);
    EXPECT_EQ(ExitCodeWithin(0), 112) << RunLog();
    EXPECT_NE(RunLog().find("There is not enough free disk space in " + Narrow(WorkFolder()) + "component\\ for the "
                            "download: 953674333 MB are needed and "),
              std::string::npos)
        << RunLog();
    EXPECT_EQ(RequestCount("huge.zip"), 1u); // its size only
    EXPECT_EQ(RequestCount("Zunder.msi"), 0u);
    EXPECT_FALSE(FileExists(WorkFolder() + L"component\\huge.zip.partial"));
    EXPECT_FALSE(ProductInstalled());
}

// "/proxy" sends every request of the run through the proxy it names: the
// manifest's and the descriptor's addresses name a host no resolver knows,
// which only the test server, as that proxy, answers for.
TEST_F(WizardEndToEnd, AProxyGivenForTheRunCarriesEveryRequest)
{
    RemoveProduct();
    m_servedHost = "zunder.invalid";
    Serve(ServerScript());
    const std::string port = std::to_string(LoopbackServer::Get().Port("http"));
    Start(L"/s /proxy 127.0.0.1:" + Widen(port) + L" /log " + LogPath());
    WaitUntil([&] { return !m_installer.IsRunning(); }, 120000);
    EXPECT_EQ(ExitCodeWithin(0), 0) << RunLog();
    EXPECT_TRUE(ProductInstalled());
    EXPECT_NE(RunLog().find("proxy \"127.0.0.1:" + port + "\""), std::string::npos) << RunLog();
    const auto requests = LoopbackServer::Get().Requests(m_prefix);
    EXPECT_GE(requests.size(), 4u); // the client check's descriptor, the engine's, the package's size and body
    for (const LoggedRequest& request : requests)
        EXPECT_EQ(request.Header("X-Kelm-Proxied-For"), "zunder.invalid:" + port) << request.target;
    RemoveProduct();
}

// The test server, as a proxy, asks for the Basic credentials "kelm" / "s3cret"
// while this lives.
struct ProxyThatAsksForCredentials {
    ProxyThatAsksForCredentials() : ready(LoopbackServer::Get().RequireProxyCredentials("kelm:s3cret")) {}
    ~ProxyThatAsksForCredentials() { LoopbackServer::Get().RequireProxyCredentials(""); }
    ProxyThatAsksForCredentials(const ProxyThatAsksForCredentials&) = delete;
    ProxyThatAsksForCredentials& operator=(const ProxyThatAsksForCredentials&) = delete;
    const bool ready;
    const std::string address = "127.0.0.1:" + std::to_string(LoopbackServer::Get().Port("http"));
};

// A proxy that asks for credentials ends a silent run (nobody can be asked)
// within seconds, with exit code 20 and a log line naming the proxy and its 407.
TEST_F(WizardEndToEnd, AProxyThatAsksForCredentialsEndsASilentRunThatSaysSo)
{
    const ProxyThatAsksForCredentials asking;
    ASSERT_TRUE(asking.ready);
    const std::string& proxy = asking.address;
    ServeBehindTheProxy();
    Start(L"/s /proxy " + Widen(proxy) + L" /log " + LogPath());
    ASSERT_TRUE(WaitUntil([&] { return !m_installer.IsRunning(); }, 60000));
    EXPECT_EQ(ExitCodeWithin(0), 20) << RunLog();
    EXPECT_NE(RunLog().find("the proxy " + proxy + " asks for credentials (HTTP 407)"), std::string::npos) << RunLog();
    EXPECT_FALSE(ProductInstalled());
}

// The system's credentials dialog of the installer, once it shows: a visible
// top-level window of the installer with an edit box; null after timeoutMs.
HWND WaitForCredentialsDialog(DWORD processId, int timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(processId))
                if (IsShown(window) && FindWindowExW(window, nullptr, L"Edit", nullptr)) {
                    found = window;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

// Types lower-case letters and digits with real keys into the foreground window.
::testing::AssertionResult TypeWithKeys(const std::string& text)
{
    for (char c : text) {
        const auto pressed = PressKey(static_cast<WORD>(std::toupper(static_cast<unsigned char>(c))));
        if (!pressed)
            return pressed;
    }
    return ::testing::AssertionSuccess();
}

HWND WizardEndToEnd::StartUntilTheProxyAsks(const std::string& proxy)
{
    ServeBehindTheProxy();
    Start(L"/proxy " + Widen(proxy) + L" /log " + LogPath());
    return WaitForCredentialsDialog(m_installer.Id(), 30000);
}

// An interactive run asks for the proxy's credentials with the system's dialog,
// owned by the window the user sees; given once with real keys, they serve
// every later request, and the installation completes through the proxy.
TEST_F(WizardEndToEnd, AProxyThatAsksForCredentialsGetsThemFromTheSystemsDialog)
{
    const ProxyThatAsksForCredentials asking;
    ASSERT_TRUE(asking.ready);
    const std::string& proxy = asking.address;
    HWND dialog = StartUntilTheProxyAsks(proxy);
    ASSERT_NE(dialog, nullptr) << RunLog();
    EXPECT_EQ(WindowText(dialog), L"Enter Network Password");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1025)), Widen(proxy)); // the proxy it is for
    EXPECT_EQ(ClassName(GetWindow(dialog, GW_OWNER)), L"#32770") << "owned by the client check's dialog";
    SavePicture(dialog, L"proxy_credentials");
    ASSERT_TRUE(BroughtToFront(dialog));
    ASSERT_TRUE(TypeWithKeys("kelm"));
    ASSERT_TRUE(PressKey(VK_TAB));
    ASSERT_TRUE(TypeWithKeys("s3cret"));
    ASSERT_TRUE(PressKey(VK_RETURN));

    HWND wizard = WaitForWizard();
    ASSERT_NE(wizard, nullptr) << RunLog();
    ASSERT_NE(WaitForPanel(wizard, IDC_INSTALL_BUTTON, 30000), nullptr);
    ASSERT_NE(InstallFromSettings(wizard), nullptr);
    EXPECT_NE(FollowProgress(wizard), nullptr) << RunLog();
    EXPECT_TRUE(ProductInstalled());
    // Asked once: the descriptor and the package came through the proxy with the credentials given.
    std::set<std::string> authorised;
    for (const LoggedRequest& request : LoopbackServer::Get().Requests(m_prefix))
        if (request.Header("Proxy-Authorization") == "Basic a2VsbTpzM2NyZXQ=")
            authorised.insert(request.method + " " + request.target.substr(m_prefix.size()));
    // (the client check's descriptor, the engine's size query and descriptor, the package's)
    EXPECT_EQ(authorised,
              (std::set<std::string>{"GET version.xml", "HEAD version.xml", "HEAD Zunder.msi", "GET Zunder.msi"}));
    EXPECT_EQ(WaitForCredentialsDialog(m_installer.Id(), 0), nullptr);
    m_installer.Terminate();
    RemoveProduct();
}

// Cancel in the credentials dialog ends the run like a download that failed,
// with a log line of its own.
TEST_F(WizardEndToEnd, CancelInTheCredentialsDialogEndsTheRun)
{
    const ProxyThatAsksForCredentials asking;
    ASSERT_TRUE(asking.ready);
    const std::string& proxy = asking.address;
    HWND dialog = StartUntilTheProxyAsks(proxy);
    ASSERT_NE(dialog, nullptr) << RunLog();
    ASSERT_TRUE(BroughtToFront(dialog));
    ASSERT_TRUE(PressKey(VK_ESCAPE));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 10000));
    HWND box = WaitForMessageBox(30000);
    ASSERT_NE(box, nullptr) << RunLog();
    EXPECT_EQ(MessageBoxText(box).rfind(L"Unable to contact the download server", 0), 0u);
    AnswerMessageBox(box, IDOK);
    EXPECT_EQ(ExitCodeWithin(30000), 20) << RunLog();
    EXPECT_NE(RunLog().find("the proxy " + proxy + " asks for credentials (HTTP 407) for http://zunder.invalid:"),
              std::string::npos);
    EXPECT_NE(RunLog().find("; the user cancelled the dialog"), std::string::npos) << RunLog();
    EXPECT_FALSE(ProductInstalled());
}

TEST_F(WizardEndToEnd, SilentRunsThatCannotInstallEndWithTheirExitCodeAndSayWhy)
{
    RemoveProduct();
    struct Case {
        const char* name;
        std::function<void(ServerScript&)> arrange;
        long exitCode;
        const char* logged;
    };
    const Case cases[] = {
        {"server down", [](ServerScript& s) { s.serverDown = true; }, 20,
         "message not shown (silent run): \"Zunder\": Unable to contact the download server."},
        {"main package answers 404", [](ServerScript& s) { s.packageStatus = 404; }, 20, "HTTP 404"},
        {"a portal's page instead of the descriptor", [](ServerScript& s) { s.descriptorBody = PortalPage(); }, 20,
         "the root element is not kelmwebinstaller"},
        {"descriptor with status 500", [](ServerScript& s) { s.descriptorStatus = 500; }, 20, "HTTP 500"},
        {"standalone without the main package", [](ServerScript& s) { s.standalone = true; }, 1603,
         "is missing: nothing can be installed"},
        {"no manifest", [](ServerScript& s) { s.manifest = false; }, 21,
         "message not shown (silent run): \"Error\": "},
        {"the product is running", [](ServerScript&) {}, 1602, "running applications not closed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetRegisteredProgram();
        LoopbackServer::Get().Reset(m_prefix);
        ServerScript script;
        c.arrange(script);
        Serve(script);
        DeleteFileW(LogPath().c_str());
        // The product's own program announces itself by its semaphore.
        UniqueHandle running(std::string(c.name) == "the product is running"
                                 ? CreateSemaphoreW(nullptr, 0, 1, L"MirelleZunderInstance_80")
                                 : nullptr);
        const ULONGLONG start = GetTickCount64();
        Start(L"/s /log " + LogPath());
        const std::string shown = WatchSilentRun(30000);
        EXPECT_EQ(ExitCodeWithin(0), c.exitCode);
        EXPECT_LT(GetTickCount64() - start, 15000u) << "a silent run waits for nobody";
        EXPECT_EQ(shown, "");
        EXPECT_FALSE(ProductInstalled());
        EXPECT_EQ(RegisteredProgram(), L"") << "nothing is registered";
        const std::string log = RunLog();
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_NE(log.find("exit code " + std::to_string(c.exitCode) + ":"), std::string::npos) << log;
    }
}

// The observation behind it: the success page and exit code 0 with nothing installed.
TEST_F(WizardEndToEnd, StandaloneRunWithoutTheMainPackageShowsNoSuccess)
{
    RemoveProduct();
    ForgetRegisteredProgram();
    ServerScript script;
    script.standalone = true;
    Serve(script);
    Start(L"/n");
    HWND wizard = WaitForWizard();
    ASSERT_NE(wizard, nullptr);
    ASSERT_NE(InstallFromSettings(wizard), nullptr);
    bool successSeen = false;
    WaitUntil([&] { successSeen = successSeen || FindVisiblePanelWith(wizard, IDC_LAUNCH_CHECK) != nullptr;
                    return !m_installer.IsRunning(); },
              60000);
    EXPECT_EQ(ExitCodeWithin(0), 1603);
    EXPECT_FALSE(successSeen);
    EXPECT_FALSE(ProductInstalled());
    EXPECT_EQ(RegisteredProgram(), L"");
}

// The newer clients a server may offer: only the one signed by the installer's
// own signer is ever started, with "/n".
TEST_F(WizardEndToEnd, ClientTooOldDownloadsAndStartsTheNewerClient)
{
    RemoveProduct(); // installed, the descriptor's update asks for no newer client
    ServerScript script;
    script.freshMinimumClient = "9.0.0.0";
    Serve(script);
    Start(L"");
    ASSERT_NO_FATAL_FAILURE(ExpectTheRunToEndWithoutAWindow());
    EXPECT_EQ(RequestCount("newclient.exe"), 1u);
    const std::wstring client = TheOnlyNewerClient();
    EXPECT_TRUE(FileExists(client));
    ASSERT_NO_FATAL_FAILURE(ExpectStartedOnceWith(client, "/n"));
    EXPECT_EQ(ExitCodeWithin(0), 22) << "client too old";

    // A silent run hands its silence (and its log) on to the newer client.
    RemoveFolderTree(WorkFolder());
    LoopbackServer::Get().Reset(m_prefix);
    Serve(script);
    Start(L"/s /log " + LogPath());
    WaitUntil([&] { return !m_installer.IsRunning(); }, 60000);
    EXPECT_EQ(ExitCodeWithin(0), 22);
    ASSERT_NO_FATAL_FAILURE(ExpectStartedOnceWith(TheOnlyNewerClient(), "/n /s /log \"" + Narrow(LogPath()) + "\""));
}

// The installer ends by itself, and never showed its wizard or a message box.
void WizardEndToEnd::ExpectTheRunToEndWithoutAWindow()
{
    bool wizardSeen = false;
    bool boxSeen = false;
    WaitUntil(
        [&] {
            wizardSeen = wizardSeen || FindWizard(m_installer.Id()) != nullptr;
            boxSeen = boxSeen || FindMessageBox(m_installer.Id()) != nullptr;
            return !m_installer.IsRunning();
        },
        60000);
    ASSERT_FALSE(m_installer.IsRunning());
    EXPECT_FALSE(wizardSeen);
    EXPECT_FALSE(boxSeen);
}

// The newer client goes into a fresh folder of the product's work folder, which
// only administrators can write: the one such folder's client program.
std::wstring WizardEndToEnd::TheOnlyNewerClient()
{
    std::vector<std::wstring> folders;
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW((WorkFolder() + L"KelmWebInstaller_*").c_str(), &entry));
    if (find) {
        do
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.push_back(entry.cFileName);
        while (FindNextFileW(find.Get(), &entry));
    }
    EXPECT_EQ(folders.size(), 1u);
    return folders.empty() ? std::wstring() : WorkFolder() + folders[0] + L"\\" + kFullName + L".exe";
}

// The stand-in `program` logged one start, with these arguments.
void WizardEndToEnd::ExpectStartedOnceWith(const std::wstring& program, const std::string& arguments)
{
    std::vector<std::string> lines;
    EXPECT_TRUE(WaitUntil([&] { return !(lines = ReadLines(program + L".log")).empty(); }, 20000));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ArgumentsOf(lines[0]), arguments);
}

TEST_F(WizardEndToEnd, ANewerClientThatIsNotTheVendorsNeverRuns)
{
    RemoveProduct(); // installed, the descriptor's update asks for no newer client
    std::string tampered = ReadWholeFile(SignedSample(L"sample-vendor.exe"));
    ASSERT_FALSE(tampered.empty());
    tampered[tampered.size() / 3] ^= 0x5a;
    ASSERT_TRUE(LoopbackServer::Get().PutFile("wiz_client_tampered.exe", tampered));
    const std::string vendorHash = Sha256Text(ReadWholeFile(SignedSample(L"sample-vendor.exe")));
    const struct {
        const char* name;
        const char* served;
        std::string sha256; // the descriptor's: right for what is served, unless the case is about it
        bool unsignedInstaller;
        const char* why;    // in the log
    } cases[] = {
        {"the vendor's, with another hash", "wiz_client_vendor.exe", std::string(64, 'c'), false, "its SHA-256 is"},
        {"not signed", "wiz_client_unsigned.exe",
         Sha256Text(ReadWholeFile(SignedSample(L"sample-unsigned.exe"))), false, "it is not signed"},
        {"signed by another publisher", "wiz_client_other.exe",
         Sha256Text(ReadWholeFile(SignedSample(L"sample-other.exe"))), false,
         "it is signed by \"Another Publisher Test Signing\""},
        {"signed by the vendor, then changed", "wiz_client_tampered.exe", Sha256Text(tampered), false,
         "its signature is not valid"},
        {"the vendor's, but this installer is not signed", "wiz_client_vendor.exe", vendorHash, true,
         "this installer is not signed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(ExpectTheNewerClientRefused(c.served, c.sha256, c.unsignedInstaller, c.why));
    }
}

// A silent run (of the signed installer, or of the unsigned one) is offered the
// newer client `served`, with `sha256` in the descriptor: it refuses it, keeps
// nothing, starts nothing, and its log says `why`.
void WizardEndToEnd::ExpectTheNewerClientRefused(const char* served, const std::string& sha256,
                                                 bool unsignedInstaller, const char* why)
{
    RemoveFolderTree(WorkFolder());
    LoopbackServer::Get().Reset(m_prefix);
    ServerScript script;
    script.freshMinimumClient = "9.0.0.0";
    script.clientFile = served;
    script.clientSha256 = sha256;
    Serve(script);
    const std::wstring installer = m_folder + L"\\KelmWebInstaller.exe";
    ASSERT_TRUE(CopyFileW((unsignedInstaller ? FromUnix(KELM_UNSIGNED_INSTALLER_EXE)
                                             : FromUnix(KELM_INSTALLER_EXE)).c_str(),
                          installer.c_str(), FALSE));
    DeleteFileW(LogPath().c_str());
    Start(L"/s /log " + LogPath());
    WaitUntil([&] { return !m_installer.IsRunning(); }, 60000);
    EXPECT_EQ(ExitCodeWithin(0), 22) << RunLog();
    EXPECT_EQ(RequestCount("newclient.exe"), 1u);
    WIN32_FIND_DATAW entry;
    UniqueFind find(FindFirstFileW((WorkFolder() + L"KelmWebInstaller_*\\*.exe").c_str(), &entry));
    EXPECT_FALSE(find) << "the refused client was not kept";
    const std::string log = RunLog();
    EXPECT_NE(log.find("refused: "), std::string::npos) << log;
    EXPECT_NE(log.find(why), std::string::npos) << log;
    // The message says why, and the run starts nothing.
    EXPECT_NE(log.find("cannot be shown to come from the publisher of this installer"), std::string::npos) << log;
    EXPECT_EQ(log.find("starting the newer client"), std::string::npos) << log;
}

// The settings page's controls, its licence link and folder browser, and the
// slide show's link on the status page, in one run of the wizard.
TEST_F(WizardEndToEnd, SettingsPageControlsLinksAndFolderBrowser)
{
    RemoveProduct();
    ASSERT_FALSE(ProductInstalled());
    ASSERT_NO_FATAL_FAILURE(UseARegionWhereTheTermsWaitForConsent());
    Serve(ServerScript());
    WriteLanguageLinks();
    HWND wizard = nullptr;
    HWND settings = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenTheSettingsPage(L"/n", wizard, settings));
    SavePicture(wizard, L"settings_optin_96dpi");
    ExpectPageDrawn(settings, 1.0, 48);
    ExpectInstallGreyUntilTheTermsAreAccepted(wizard, settings);
    ExpectTheSeparatorToReachTheRightEdge(settings);
    CollapseAndExpandTheSettingsArea(wizard, settings);
    ExpectEnterAndEscapeToChangeNothing(wizard, settings);
    ASSERT_NO_FATAL_FAILURE(OpenTheTermsWithTheLicenceLink(settings));

    const std::wstring pick = m_folder + L"\\pick";
    ASSERT_NO_FATAL_FAILURE(CancelTheFolderBrowser(wizard, settings, pick));
    ASSERT_NO_FATAL_FAILURE(ChooseFolderWithTheBrowser(wizard, settings, pick));
    ExpectInstallToDoNothingUnticked(wizard, settings);
    ASSERT_NO_FATAL_FAILURE(ExpectARelativeFolderRefused(settings, pick + L"\\beta"));
    HWND status = nullptr;
    ASSERT_NO_FATAL_FAILURE(InstallIntoANewNestedFolder(wizard, settings, status));
    ASSERT_NO_FATAL_FAILURE(OpenTheTourWithTheSlideShow(status));

    ASSERT_NO_FATAL_FAILURE(CloseAndCancelTheInstallation(wizard));
    EXPECT_FALSE(ProductInstalled());
    EXPECT_EQ(OpenedPages().size(), 2u) << "each click opens its page once";
}

void WizardEndToEnd::UseARegionWhereTheTermsWaitForConsent()
{
    m_region = std::make_unique<SavedRegistryValue>(HKEY_CURRENT_USER, L"Control Panel\\International\\Geo",
                                                    L"Nation");
    ASSERT_TRUE(m_region->Set(L"122"));
}

void WizardEndToEnd::OpenTheSettingsPage(const std::wstring& arguments, HWND& wizard, HWND& settings)
{
    Start(arguments);
    wizard = WaitForWizard();
    ASSERT_NE(wizard, nullptr);
    settings = WaitForPanel(wizard, IDC_INSTALL_BUTTON, 30000);
    ASSERT_NE(settings, nullptr);
}

// Until the terms are accepted Install shows grey; ticked, the accent blue.
void WizardEndToEnd::ExpectInstallGreyUntilTheTermsAreAccepted(HWND wizard, HWND settings)
{
    HWND install = GetDlgItem(settings, IDC_INSTALL_BUTTON);
    auto installFill = [&] {
        WaitResponsive(wizard);
        const WindowPicture picture = CaptureWindow(install);
        return picture.pixels.empty() ? CLR_INVALID : picture.At(8, picture.height / 2);
    };
    auto grey = [](COLORREF c) {
        return std::abs(GetRValue(c) - GetGValue(c)) < 12 && std::abs(GetGValue(c) - GetBValue(c)) < 12;
    };
    EXPECT_FALSE(IsWindowEnabled(install));
    EXPECT_TRUE(grey(installFill())) << std::hex << installFill();
    ClickItem(settings, IDC_ACCEPT_CHECK);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(install) != FALSE; }, 5000));
    auto accent = [](COLORREF c) {
        return std::abs(GetRValue(c) - 7) < 10 && std::abs(GetGValue(c) - 165) < 10 && std::abs(GetBValue(c) - 216) < 10;
    };
    EXPECT_TRUE(WaitUntil([&] { return accent(installFill()); }, 5000)) << std::hex << installFill();
    ClickItem(settings, IDC_ACCEPT_CHECK);
    EXPECT_TRUE(WaitUntil([&] { return grey(installFill()); }, 5000)) << std::hex << installFill();
}

// The line above the settings area runs to the page's right edge.
void WizardEndToEnd::ExpectTheSeparatorToReachTheRightEdge(HWND settings)
{
    const WindowPicture page = CaptureWindow(settings);
    const RECT rightEdge{page.width - 3, 0, page.width - 2, page.height};
    EXPECT_EQ(page.Count(rightEdge, [](COLORREF c) { return c == RGB(0x28, 0x28, 0x28); }), 1)
        << "no separator line";
}

// Collapsing the settings area takes 79 pixels off the window; expanding gives them back.
void WizardEndToEnd::CollapseAndExpandTheSettingsArea(HWND wizard, HWND settings)
{
    EXPECT_EQ(WindowHeight(wizard), 446);
    ClickItem(settings, IDC_EXPAND_BUTTON);
    EXPECT_TRUE(WaitUntil([&] { return WindowHeight(wizard) == 446 - 79; }, 5000)) << WindowHeight(wizard);
    ClickItem(settings, IDC_SETTINGS_LABEL);
    EXPECT_TRUE(WaitUntil([&] { return WindowHeight(wizard) == 446; }, 5000)) << WindowHeight(wizard);
}

// Enter and Escape leave the page and the wizard as they are.
void WizardEndToEnd::ExpectEnterAndEscapeToChangeNothing(HWND wizard, HWND settings)
{
    PostMessageW(GetDlgItem(settings, IDC_FOLDER_EDIT), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(GetDlgItem(settings, IDC_FOLDER_EDIT), WM_KEYDOWN, VK_RETURN, 0);
    Sleep(800);
    EXPECT_TRUE(m_installer.IsRunning());
    EXPECT_NE(FindVisiblePanelWith(wizard, IDC_INSTALL_BUTTON), nullptr);
}

// The licence link opens the terms page from the language file, whether ticked or not.
void WizardEndToEnd::OpenTheTermsWithTheLicenceLink(HWND settings)
{
    ASSERT_TRUE(ClickWithMouse(GetDlgItem(settings, IDC_LICENSE_LINK)));
    std::vector<std::string> pages;
    EXPECT_TRUE(WaitUntil([&] { return !(pages = OpenedPages()).empty(); }, 10000));
    EXPECT_EQ(pages, std::vector<std::string>{"\"" + Narrow(kTermsPage) + "\""});
    // A link that names a program is not a web page: nothing is started (the
    // recorder would log its own start).
    WriteLanguageLinks(FromUnix(KELM_URL_RECORDER));
    ASSERT_TRUE(ClickWithMouse(GetDlgItem(settings, IDC_LICENSE_LINK)));
    Sleep(1500);
    EXPECT_EQ(OpenedPages().size(), 1u);
    WriteLanguageLinks();
}

// "..." opens the folder dialog; Cancel leaves the box as it was. The folders
// `pick`, `pick`\alpha and `pick`\beta are made for the dialogs that follow.
void WizardEndToEnd::CancelTheFolderBrowser(HWND wizard, HWND settings, const std::wstring& pick)
{
    for (const wchar_t* level : {L"", L"\\alpha", L"\\beta"})
        ASSERT_TRUE(CreateDirectoryW((pick + level).c_str(), nullptr));
    HWND folderEdit = GetDlgItem(settings, IDC_FOLDER_EDIT);
    const std::wstring typed = pick + L"\\alpha\\not\\there\\";
    SetWindowTextOf(folderEdit, typed);
    // Wine's first folder dialog in a process may miss the start folder when its
    // levels were created moments ago (see PLATFORM.md); the second one checks it.
    HWND browser = OpenFolderBrowser(wizard, settings, nullptr);
    ASSERT_NE(browser, nullptr);
    EXPECT_NE(FindDescendant(browser, L"Static", L"Browse to the destination folder."), nullptr);
    CloseFolderBrowser(browser, IDCANCEL);
    EXPECT_EQ(WindowText(folderEdit), typed);
    EXPECT_TRUE(IsWindowEnabled(wizard));
}

// It opens at the deepest existing level of the typed folder (`pick`\alpha); OK
// puts the folder the user picked into the box.
void WizardEndToEnd::ChooseFolderWithTheBrowser(HWND wizard, HWND settings, const std::wstring& pick)
{
    HWND browser = OpenFolderBrowser(wizard, settings, L"alpha");
    ASSERT_NE(browser, nullptr);
    SavePicture(browser, L"folder_browser_96dpi");
    ASSERT_NO_FATAL_FAILURE(SelectTheNextFolderInTheTree(browser));
    EXPECT_TRUE(WaitUntil([&] { return WindowText(FindDescendant(browser, L"Edit")) == L"beta"; }, 5000));
    CloseFolderBrowser(browser, IDOK);
    HWND folderEdit = GetDlgItem(settings, IDC_FOLDER_EDIT);
    EXPECT_TRUE(WaitUntil([&] { return WindowText(folderEdit) == pick + L"\\beta"; }, 5000))
        << Narrow(WindowText(folderEdit));
}

// The user picks the next folder in the tree: "beta", beside "alpha".
void WizardEndToEnd::SelectTheNextFolderInTheTree(HWND browser)
{
    HWND tree = FindDescendant(browser, L"SysTreeView32");
    DWORD_PTR selected = 0;
    ASSERT_TRUE(SendMessageTimeoutW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_NORMAL, 5000, &selected));
    DWORD_PTR next = 0;
    ASSERT_TRUE(SendMessageTimeoutW(tree, TVM_GETNEXTITEM, TVGN_NEXT, static_cast<LPARAM>(selected), SMTO_NORMAL,
                                    5000, &next));
    ASSERT_NE(next, 0u);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(tree, TVM_SELECTITEM, TVGN_CARET, static_cast<LPARAM>(next), SMTO_NORMAL, 5000, &ignored);
}

// Unticked: Install does nothing.
void WizardEndToEnd::ExpectInstallToDoNothingUnticked(HWND wizard, HWND settings)
{
    SetWindowTextOf(GetDlgItem(settings, IDC_FOLDER_EDIT), L"relative\\folder");
    ClickItem(settings, IDC_INSTALL_BUTTON);
    Sleep(1500);
    EXPECT_EQ(FindMessageBox(m_installer.Id()), nullptr);
    EXPECT_NE(FindVisiblePanelWith(wizard, IDC_INSTALL_BUTTON), nullptr);
}

// Ticked: a relative folder is refused and the folder chosen last comes back.
void WizardEndToEnd::ExpectARelativeFolderRefused(HWND settings, const std::wstring& chosenLast)
{
    ClickItem(settings, IDC_ACCEPT_CHECK);
    ClickItem(settings, IDC_INSTALL_BUTTON);
    HWND box = WaitForMessageBox(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"The specified path relative\\folder is unavailable.");
    AnswerMessageBox(box, IDOK);
    HWND folderEdit = GetDlgItem(settings, IDC_FOLDER_EDIT);
    EXPECT_TRUE(WaitUntil([&] { return WindowText(folderEdit) == chosenLast; }, 5000))
        << Narrow(WindowText(folderEdit));
}

// A new nested folder is created level by level once Install is pressed.
void WizardEndToEnd::InstallIntoANewNestedFolder(HWND wizard, HWND settings, HWND& status)
{
    const std::wstring nested = L"C:\\kelmwiz\\nested_" + std::to_wstring(GetTickCount()) + L"\\one\\two";
    SetWindowTextOf(GetDlgItem(settings, IDC_FOLDER_EDIT), nested + L"\\");
    ClickItem(settings, IDC_INSTALL_BUTTON);
    status = WaitForPanel(wizard, IDC_TIME_LABEL, 10000);
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(IsDirectory(nested));
}

// A click on the slide show opens the tour page from the language file (the
// terms page was the first page opened).
void WizardEndToEnd::OpenTheTourWithTheSlideShow(HWND status)
{
    ASSERT_TRUE(ClickWithMouse(GetDlgItem(status, IDC_SLIDE_SHOW)));
    std::vector<std::string> pages;
    EXPECT_TRUE(WaitUntil([&] { return (pages = OpenedPages()).size() == 2; }, 10000));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[1], "\"" + Narrow(kTourPage) + "\"");
    EXPECT_EQ(PageOpeners(), (std::vector<std::string>{"explorer.exe", "explorer.exe"}));
}

// Closing ends the run; once the engine runs it asks first, and Yes cancels.
void WizardEndToEnd::CloseAndCancelTheInstallation(HWND wizard)
{
    PostMessageW(wizard, WM_CLOSE, 0, 0);
    WaitUntil([&] {
        if (HWND question = FindMessageBox(m_installer.Id())) {
            EXPECT_EQ(MessageBoxText(question), kCancelQuestion);
            AnswerMessageBox(question, IDYES);
        }
        return !m_installer.IsRunning();
    }, 60000);
    ASSERT_FALSE(m_installer.IsRunning());
}

TEST_F(WizardEndToEnd, FreshInstallationRunsThroughAllPages)
{
    RemoveProduct();
    ASSERT_FALSE(ProductInstalled());
    ServerScript script;
    script.packageDelayMs = 20;
    script.descriptorDelayMs = 1600;
    Serve(script);
    Start(L"");
    ASSERT_NO_FATAL_FAILURE(ExpectTheCheckDialogToRefuseClosing());

    HWND wizard = WaitForWizard();
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(WindowText(wizard), kFullName);
    HWND settings = WaitForPanel(wizard, IDC_INSTALL_BUTTON, 30000);
    ASSERT_NE(settings, nullptr);
    Sleep(500);
    SavePicture(wizard, L"settings_96dpi");
    ExpectPageDrawn(settings, 1.0, 48);

    HWND status = InstallFromSettings(wizard);
    ASSERT_NE(status, nullptr);
    HWND success = nullptr;
    ASSERT_NO_FATAL_FAILURE(FollowTheStatusPageToSuccess(wizard, status, success));
    EXPECT_TRUE(ProductInstalled());
    WaitResponsive(wizard);
    Sleep(500);
    SavePicture(wizard, L"success_96dpi");
    ExpectPageDrawn(success, 1.0, 90);
    ASSERT_NO_FATAL_FAILURE(StartNowTwiceOpensTheHomePageOnce(success));
}

// The check dialog shows while the descriptor is slow to come; Alt+F4 while
// the check runs is refused, the check goes on and its outcome decides.
void WizardEndToEnd::ExpectTheCheckDialogToRefuseClosing()
{
    HWND check = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (check = FindCheckDialog(m_installer.Id())) != nullptr; }, 30000));
    WaitUntil([&] { return IsWindowVisible(check) != FALSE; }, 5000);
    Sleep(300);
    SavePicture(check, L"check_dialog_96dpi");
    EXPECT_EQ(WindowText(check), L"Preparing...");
    PostMessageW(check, WM_SYSCOMMAND, SC_CLOSE, 0);
    Sleep(400);
    EXPECT_TRUE(IsWindow(check) && IsWindowVisible(check)) << "a close request waits for the check";
}

// Follows the status page to the success page (set in `success`): the bar
// moves through several values, the remaining time shows, and the page is
// drawn as the user sees it once the bar has moved.
void WizardEndToEnd::FollowTheStatusPageToSuccess(HWND wizard, HWND status, HWND& success)
{
    std::set<std::wstring> percents;
    std::set<std::wstring> times;
    bool pictured = false;
    WaitUntil(
        [&] {
            const std::wstring percent = WindowText(GetDlgItem(status, IDC_PERCENT_LABEL));
            percents.insert(percent);
            times.insert(WindowText(GetDlgItem(status, IDC_TIME_LABEL)));
            if (!pictured && percent != L"" && percent != L"0.0%") {
                SavePicture(wizard, L"status_96dpi");
                ExpectPageDrawn(status, 1.0, 0);
                pictured = true;
            }
            success = FindVisiblePanelWith(wizard, IDC_LAUNCH_CHECK);
            return success != nullptr || !m_installer.IsRunning();
        },
        240000, 200);
    ASSERT_NE(success, nullptr);
    int between = 0;
    for (const std::wstring& p : percents)
        between += (p != L"" && p != L"0.0%" && p != L"100.0%") ? 1 : 0;
    EXPECT_GE(between, 2) << "the bar should move through several values";
    bool remainingShown = false;
    for (const std::wstring& t : times)
        remainingShown = remainingShown || t.find(L"remaining...") != std::wstring::npos;
    EXPECT_TRUE(remainingShown);
}

// Start Now ends the installer, starts the product once and opens the home
// page once, through the desktop shell.
void WizardEndToEnd::StartNowTwiceOpensTheHomePageOnce(HWND success)
{
    ClickItem(success, IDC_START_NOW);
    ClickItem(success, IDC_START_NOW); // twice within half a second: the home page still opens once
    ASSERT_TRUE(m_installer.WaitForExit(30000));
    std::vector<std::string> started;
    EXPECT_TRUE(WaitUntil([&] { return !(started = ReadLines(ProgramLog())).empty(); }, 20000));
    EXPECT_EQ(started.size(), 1u);
    std::vector<std::string> pages;
    WaitUntil([&] { return !(pages = ReadLines(UrlLog())).empty(); }, 10000);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(ArgumentsOf(pages[0]), "\"" + Narrow(kHomePage) + "\"");
    EXPECT_EQ(PageOpeners(), std::vector<std::string>{"explorer.exe"}) << "opened by the desktop shell";
}

TEST_F(WizardEndToEnd, InstalledProductIsUpdatedWithoutSettingsOrHomePage)
{
    ASSERT_NO_FATAL_FAILURE(InstallTheProductSilently());
    ASSERT_TRUE(ProductInstalled());
    Serve(ServerScript());
    Start(L"");
    HWND wizard = WaitForWizard();
    ASSERT_NE(wizard, nullptr);
    bool settingsSeen = false;
    HWND success = nullptr;
    WaitUntil(
        [&] {
            settingsSeen = settingsSeen || FindVisiblePanelWith(wizard, IDC_INSTALL_BUTTON) != nullptr;
            success = FindVisiblePanelWith(wizard, IDC_LAUNCH_CHECK);
            return success != nullptr || !m_installer.IsRunning();
        },
        240000, 100);
    ASSERT_NE(success, nullptr);
    EXPECT_FALSE(settingsSeen);
    EXPECT_EQ(RequestCount("Zunder.msi"), 2u); // its size, then the package
    PostMessageW(success, WM_KEYDOWN, VK_RETURN, 0); // Enter acts as Start Now
    ASSERT_TRUE(m_installer.WaitForExit(30000));
    Sleep(2000);
    EXPECT_TRUE(ReadLines(UrlLog()).empty()) << "an update opens no home page";
}

TEST_F(WizardEndToEnd, AlreadyInstalledAsksAndStartsTheProduct)
{
    ASSERT_NO_FATAL_FAILURE(InstallTheProductSilently());
    ASSERT_TRUE(ProductInstalled());
    // The program the installation registered (the package's own location record
    // follows its default folder after a repair under Wine).
    const std::wstring program = RegisteredProgram();
    ASSERT_TRUE(FileExists(program)) << Narrow(program);
    m_installFolder = program.substr(0, program.size() - std::wstring(L"\\bin\\Zunder.exe").size());
    const size_t startsBefore = ReadLines(ProgramLog()).size();
    ServerScript script;
    script.updateVersion = "8.0.1.0"; // what is installed already
    Serve(script);
    Start(L"");
    HWND box = WaitForMessageBox(30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"Zunder is already installed. Would you like to launch it?");
    AnswerMessageBox(box, IDYES);
    ASSERT_TRUE(m_installer.WaitForExit(30000));
    EXPECT_TRUE(WaitUntil([&] { return ReadLines(ProgramLog()).size() == startsBefore + 1; }, 20000))
        << Narrow(ProgramLog()) << " " << startsBefore;
    EXPECT_EQ(RequestCount("Zunder.msi"), 0u);
}

TEST_F(WizardEndToEnd, RunningProductBlocksUntilRetryAndCancelEndsTheWizard)
{
    ASSERT_NO_FATAL_FAILURE(InstallTheProductSilently());
    ASSERT_TRUE(ProductInstalled());
    Serve(ServerScript());
    {
        UniqueHandle running(CreateSemaphoreW(nullptr, 0, 1, L"MirelleZunderInstance_80"));
        Start(L"/n");
        HWND box = WaitForMessageBox(30000);
        ASSERT_NE(box, nullptr);
        EXPECT_NE(MessageBoxText(box).find(L"should be closed"), std::wstring::npos) << Narrow(MessageBoxText(box));
        Sleep(1000);
        EXPECT_EQ(RequestCount("Zunder.msi"), 0u) << "nothing starts while the product runs";
        AnswerMessageBox(box, IDCANCEL);
        ASSERT_TRUE(m_installer.WaitForExit(20000));
        EXPECT_EQ(RequestCount("Zunder.msi"), 0u);
    }
    {
        UniqueHandle running(CreateSemaphoreW(nullptr, 0, 1, L"MirelleZunderInstance_80"));
        Start(L"/n");
        HWND box = WaitForMessageBox(30000);
        ASSERT_NE(box, nullptr);
        running.Reset(); // the product ends
        AnswerMessageBox(box, IDRETRY);
    }
    HWND wizard = WaitForWizard();
    ASSERT_NE(wizard, nullptr);
    HWND success = FollowProgress(wizard);
    ASSERT_NE(success, nullptr);
    EXPECT_EQ(RequestCount("Zunder.msi"), 2u);
    PostMessageW(wizard, WM_CLOSE, 0, 0);
    ASSERT_TRUE(m_installer.WaitForExit(20000));
}

TEST_F(WizardEndToEnd, CancelDuringDownloadResumesOnNoAndEndsOnYes)
{
    ServerScript script;
    script.packageDelayMs = 60;
    HWND wizard = nullptr;
    HWND status = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartInstalling(script, wizard, status));
    ASSERT_TRUE(WaitUntil([&] { return PercentShown(status) > 3.0; }, 60000));
    EXPECT_EQ(WindowText(GetDlgItem(status, IDC_STATUS_LABEL)), L"Downloading, please wait...");
    ASSERT_NO_FATAL_FAILURE(AnswerNoAndExpectTheDownloadToGoOn(wizard, status));
    ASSERT_NO_FATAL_FAILURE(AnswerYesAndExpectTheRunToEnd(wizard, status));
    EXPECT_FALSE(ProductInstalled());
    EXPECT_EQ(ExitCodeWithin(0), 1602) << "cancelled by the user";
}

// The download holds still while the cancel question is open, and No lets it
// go on in the same request.
void WizardEndToEnd::AnswerNoAndExpectTheDownloadToGoOn(HWND wizard, HWND status)
{
    PostMessageW(wizard, WM_CLOSE, 0, 0);
    HWND box = WaitForMessageBox(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kCancelQuestion);
    Sleep(1200);
    const double paused = PercentShown(status);
    Sleep(2500);
    EXPECT_EQ(PercentShown(status), paused) << "the download holds still while the question is open";
    AnswerMessageBox(box, IDNO);
    EXPECT_TRUE(WaitUntil([&] { return PercentShown(status) > paused; }, 10000));
    EXPECT_LT(PercentShown(status), 50.0);
    EXPECT_EQ(RequestCount("Zunder.msi"), 2u) << "one size query and one download, resumed in the same request";
}

// Yes: the status page says it is cancelling, the installer ends, and no other
// message box comes.
void WizardEndToEnd::AnswerYesAndExpectTheRunToEnd(HWND wizard, HWND status)
{
    PostMessageW(wizard, WM_CLOSE, 0, 0);
    HWND box = WaitForMessageBox(10000);
    ASSERT_NE(box, nullptr);
    AnswerMessageBox(box, IDYES);
    // The answer is posted: the question itself stays up until its loop has taken it.
    bool cancellingSeen = false;
    EXPECT_TRUE(WaitUntil(
        [&] {
            cancellingSeen = cancellingSeen || WindowText(GetDlgItem(status, IDC_STATUS_LABEL)) == L"Cancelling...";
            return !IsWindow(box) || !IsWindowVisible(box);
        },
        10000, 5));
    std::wstring otherBox;
    WaitUntil(
        [&] {
            cancellingSeen = cancellingSeen || WindowText(GetDlgItem(status, IDC_STATUS_LABEL)) == L"Cancelling...";
            if (HWND other = FindMessageBox(m_installer.Id()); other != nullptr && other != box && otherBox.empty())
                otherBox = MessageBoxText(other);
            return !m_installer.IsRunning();
        },
        60000, 20);
    EXPECT_FALSE(m_installer.IsRunning());
    EXPECT_TRUE(cancellingSeen);
    EXPECT_EQ(otherBox, L"") << "no message box after the user chose to cancel";
}

// Installed and started with the keyboard alone, real key events into the
// wizard: every page puts the focus on its own control, Tab never leaves the
// page shown, Space works the licence box, Enter installs and starts. The
// focus cue shows on each control the keys reach, at the given screen DPI.
void WizardEndToEnd::InstallAndStartWithKeysAlone(DWORD dpi)
{
    ServerScript script;
    script.packageDelayMs = 30; // the download takes some seconds: time to work the status page
    RemoveProduct();
    // A region where the terms wait for the user's consent: the page opens on the licence box, and the
    // first focus is the system's, not the keyboard's (whatever region the machine's prefix was made in).
    ASSERT_NO_FATAL_FAILURE(UseARegionWhereTheTermsWaitForConsent());
    Serve(script);
    HWND wizard = nullptr;
    HWND settings = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenTheSettingsPageInFrontAt(dpi, wizard, settings));
    ExpectTheLicenceBoxFocusedWithoutACue(wizard, settings, dpi);
    ASSERT_NO_FATAL_FAILURE(TabOnceRoundTheSettingsPage(wizard, settings, dpi));
    OpenTheTermsWithEnterAndSpace(wizard);
    ASSERT_NO_FATAL_FAILURE(TickTheLicenceBoxWithSpace(wizard, settings));
    ASSERT_NO_FATAL_FAILURE(WorkTheExpandArrowWithEnterAndSpace(wizard, settings));
    ASSERT_NO_FATAL_FAILURE(InstallWithEnter(wizard, settings, dpi));

    HWND status = WaitForPanel(wizard, IDC_TIME_LABEL, 20000);
    ASSERT_NE(status, nullptr);
    ASSERT_NO_FATAL_FAILURE(OpenTheTourWithEnter(wizard, status));

    HWND success = WaitForPanel(wizard, IDC_LAUNCH_CHECK, 180000);
    ASSERT_NE(success, nullptr);
    EXPECT_TRUE(ProductInstalled());
    ASSERT_NO_FATAL_FAILURE(TabOnceRoundTheSuccessPage(wizard, success, dpi));
    StartTheProductWithEnter();
    RemoveProduct();
}

TEST_F(WizardEndToEnd, TheKeyboardAloneInstallsAndStartsTheProduct)
{
    InstallAndStartWithKeysAlone(96);
}

TEST_F(WizardEndToEnd, TheKeyboardAloneInstallsAndStartsTheProductAt192Dpi)
{
    InstallAndStartWithKeysAlone(192);
}

namespace {

// The focus cue: a white ring two pixels (at 96 DPI) inside the focused control, once the keyboard is used.
bool FocusCueShows(HWND control, DWORD dpi)
{
    const int inset = static_cast<int>(2 * dpi / 96);
    RECT rect{};
    GetWindowRect(control, &rect);
    HDC screen = GetDC(nullptr);
    const COLORREF left = GetPixel(screen, rect.left + inset, (rect.top + rect.bottom) / 2);
    const COLORREF top = GetPixel(screen, (rect.left + rect.right) / 2, rect.top + inset);
    ReleaseDC(nullptr, screen);
    return left == RGB(255, 255, 255) && top == RGB(255, 255, 255);
}

// Tab until `target` has the focus; each step stays on `page`.
bool TabTo(HWND wizard, HWND page, HWND target)
{
    for (int step = 0; step < 12 && FocusOf(wizard) != target; ++step) {
        const HWND before = FocusOf(wizard);
        EXPECT_TRUE(PressKey(VK_TAB));
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(wizard) != before; }, 3000)) << "Tab moved nothing";
        EXPECT_EQ(GetParent(FocusOf(wizard)), page) << "Tab reached " << DescribeWindow(FocusOf(wizard));
    }
    return FocusOf(wizard) == target;
}

} // namespace

// The wizard at the given screen DPI (back to 96 for what starts later), on
// its settings page, in front: the keys go to it.
void WizardEndToEnd::OpenTheSettingsPageInFrontAt(DWORD dpi, HWND& wizard, HWND& settings)
{
    SetScreenDpi(dpi);
    Start(L"/n /log " + LogPath());
    wizard = WaitForWizard();
    SetScreenDpi(96);
    ASSERT_NE(wizard, nullptr);
    settings = WaitForPanel(wizard, IDC_INSTALL_BUTTON, 30000);
    ASSERT_NE(settings, nullptr);
    ASSERT_TRUE(BroughtToFront(wizard));
}

// Until a key is pressed, the page's first focus (the licence box) shows no cue.
void WizardEndToEnd::ExpectTheLicenceBoxFocusedWithoutACue(HWND wizard, HWND settings, DWORD dpi)
{
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(settings, IDC_INSTALL_BUTTON)));
    EXPECT_EQ(FocusOf(wizard), GetDlgItem(settings, IDC_ACCEPT_CHECK)) << "the settings page's first focus";
    WaitResponsive(wizard);
    SavePicture(wizard, L"keyboard-0-settings-" + std::to_wstring(dpi) + L"dpi");
    EXPECT_FALSE(FocusCueShows(FocusOf(wizard), dpi)) << "a focus cue before the keyboard was used";
}

// The picture "keyboard-<picture>-<dpi>dpi" of the wizard, and the focus cue on `control`.
void WizardEndToEnd::ExpectTheFocusCueOn(HWND wizard, HWND control, DWORD dpi, const std::wstring& picture,
                                         const char* name)
{
    WaitResponsive(wizard);
    SavePicture(wizard, L"keyboard-" + picture + L"-" + std::to_wstring(dpi) + L"dpi");
    EXPECT_TRUE(FocusCueShows(control, dpi)) << "no focus cue on " << name;
}

// Once round the page back to the licence box, then to the link: the cue
// appears only after a key.
void WizardEndToEnd::TabOnceRoundTheSettingsPage(HWND wizard, HWND settings, DWORD dpi)
{
    HWND licence = GetDlgItem(settings, IDC_ACCEPT_CHECK);
    EXPECT_TRUE(PressKey(VK_TAB));
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(wizard) != licence; }, 3000)) << "Tab moved nothing";
    ASSERT_TRUE(TabTo(wizard, settings, licence));
    ExpectTheFocusCueOn(wizard, licence, dpi, L"1-licence", "the licence box");
    HWND link = GetDlgItem(settings, IDC_LICENSE_LINK);
    ASSERT_TRUE(TabTo(wizard, settings, link)) << "the licence link is no tab stop";
    ExpectTheFocusCueOn(wizard, link, dpi, L"2-link", "the link");
}

// The licence link (focused) opens the terms with Enter and again with Space.
void WizardEndToEnd::OpenTheTermsWithEnterAndSpace(HWND wizard)
{
    EXPECT_TRUE(PressKey(VK_RETURN));
    EXPECT_TRUE(WaitUntil([&] { return OpenedPages().size() == 1; }, 10000)) << "Enter on the link opened no page";
    EXPECT_TRUE(PressKey(VK_SPACE));
    EXPECT_TRUE(WaitUntil([&] { return OpenedPages().size() == 2; }, 10000)) << "Space on the link opened no page";
    SetForegroundWindow(wizard);
}

// Space works the licence box both ways; it is left ticked, Install enabled.
void WizardEndToEnd::TickTheLicenceBoxWithSpace(HWND wizard, HWND settings)
{
    HWND install = GetDlgItem(settings, IDC_INSTALL_BUTTON);
    ASSERT_TRUE(TabTo(wizard, settings, GetDlgItem(settings, IDC_ACCEPT_CHECK)));
    const bool enabled = IsWindowEnabled(install) != FALSE;
    EXPECT_TRUE(PressKey(VK_SPACE));
    EXPECT_TRUE(WaitUntil([&] { return (IsWindowEnabled(install) != FALSE) != enabled; }, 3000));
    EXPECT_TRUE(PressKey(VK_SPACE));
    EXPECT_TRUE(WaitUntil([&] { return (IsWindowEnabled(install) != FALSE) == enabled; }, 3000));
    if (!IsWindowEnabled(install)) {
        EXPECT_TRUE(PressKey(VK_SPACE));
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(install) != FALSE; }, 3000));
    }
}

// The expand arrow is a push button: Enter and Space work it.
void WizardEndToEnd::WorkTheExpandArrowWithEnterAndSpace(HWND wizard, HWND settings)
{
    const LONG expandedHeight = WindowHeight(wizard);
    ASSERT_TRUE(TabTo(wizard, settings, GetDlgItem(settings, IDC_EXPAND_BUTTON)));
    EXPECT_TRUE(PressKey(VK_RETURN));
    EXPECT_TRUE(WaitUntil([&] { return WindowHeight(wizard) < expandedHeight; }, 5000)) << "Enter on the arrow";
    EXPECT_TRUE(PressKey(VK_SPACE));
    EXPECT_TRUE(WaitUntil([&] { return WindowHeight(wizard) == expandedHeight; }, 5000)) << "Space on the arrow";
}

void WizardEndToEnd::InstallWithEnter(HWND wizard, HWND settings, DWORD dpi)
{
    HWND install = GetDlgItem(settings, IDC_INSTALL_BUTTON);
    ASSERT_TRUE(TabTo(wizard, settings, install));
    ExpectTheFocusCueOn(wizard, install, dpi, L"3-install", "Install");
    EXPECT_TRUE(PressKey(VK_RETURN));
}

// The status page: the slide show is a link that Enter opens.
void WizardEndToEnd::OpenTheTourWithEnter(HWND wizard, HWND status)
{
    ASSERT_TRUE(TabTo(wizard, status, GetDlgItem(status, IDC_SLIDE_SHOW)));
    EXPECT_TRUE(PressKey(VK_RETURN));
    EXPECT_TRUE(WaitUntil([&] { return OpenedPages().size() == 3; }, 10000)) << "Enter on the slide show opened no page";
    SetForegroundWindow(wizard);
}

// The success page's focus is Start Now; once round the page's controls and
// back to it: never a hidden page's.
void WizardEndToEnd::TabOnceRoundTheSuccessPage(HWND wizard, HWND success, DWORD dpi)
{
    HWND startNow = GetDlgItem(success, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(wizard) == startNow; }, 5000))
        << "the success page's focus is on " << DescribeWindow(FocusOf(wizard));
    SetForegroundWindow(wizard);
    for (int step = 0; step < 3; ++step) {
        const HWND before = FocusOf(wizard);
        EXPECT_TRUE(PressKey(VK_TAB));
        WaitUntil([&] { return FocusOf(wizard) != before; }, 2000);
        EXPECT_EQ(GetParent(FocusOf(wizard)), success) << "Tab reached " << DescribeWindow(FocusOf(wizard));
    }
    ASSERT_TRUE(TabTo(wizard, success, startNow));
    ExpectTheFocusCueOn(wizard, startNow, dpi, L"4-start-now", "Start Now");
}

// Enter on Start Now starts the product where the settings page proposed it:
// the program the registry names.
void WizardEndToEnd::StartTheProductWithEnter()
{
    const std::wstring programLog = RegisteredProgram() + L".log";
    DeleteFileW(programLog.c_str());
    EXPECT_TRUE(PressKey(VK_RETURN));
    EXPECT_TRUE(WaitUntil([&] { return !ReadLines(programLog).empty(); }, 30000))
        << "Enter did not start the product; " << RunLog();
}

// What a screen reader reads of every control of the three pages, read as it
// reads it (the accessible object of each window, from this process): names,
// roles, the states a user acts on, and the progress bar's value.
TEST_F(WizardEndToEnd, ScreenReadersReadEveryControlOfTheThreePages)
{
    RemoveProduct();
    // The terms wait for consent here: the licence box starts unticked and Install disabled.
    ASSERT_NO_FATAL_FAILURE(UseARegionWhereTheTermsWaitForConsent());
    ServerScript script;
    script.packageDelayMs = 40;
    Serve(script);
    WriteLanguageLinks();
    HWND wizard = nullptr;
    HWND settings = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenTheSettingsPage(L"/n", wizard, settings));
    ASSERT_TRUE(BroughtToFront(wizard));
    WaitResponsive(wizard);
    ExpectTheSettingsPageRead(settings);
    ExpectTheReadStatesToFollowTheUser(wizard, settings);

    ClickItem(settings, IDC_INSTALL_BUTTON);
    HWND status = WaitForPanel(wizard, IDC_TIME_LABEL, 20000);
    ASSERT_NE(status, nullptr);
    ASSERT_NO_FATAL_FAILURE(ReadTheStatusPageUnderTheCancelQuestion(wizard, status));

    HWND success = WaitForPanel(wizard, IDC_LAUNCH_CHECK, 180000);
    ASSERT_NE(success, nullptr);
    ExpectTheSuccessPageRead(wizard, success);
    PostMessageW(wizard, WM_CLOSE, 0, 0);
    ASSERT_TRUE(m_installer.WaitForExit(20000));
    RemoveProduct();
}

namespace {

struct ExpectedReading {
    int id;
    std::wstring name;
    long role;
    long stateSet = 0;   // each of these bits set
    long stateClear = 0; // each of these clear
};

// Each control of the table on `page`, read as a screen reader reads it.
void ExpectScreenReaderToRead(HWND page, const std::vector<ExpectedReading>& table)
{
    for (const ExpectedReading& expected : table) {
        SCOPED_TRACE("control " + std::to_string(expected.id));
        HWND control = GetDlgItem(page, expected.id);
        ASSERT_NE(control, nullptr);
        const ScreenReaderView view = ReadAsScreenReader(control);
        EXPECT_EQ(view.error, "");
        EXPECT_EQ(Narrow(view.name), Narrow(expected.name));
        EXPECT_EQ(view.role, expected.role);
        EXPECT_EQ(view.state & expected.stateSet, expected.stateSet) << std::hex << view.state;
        EXPECT_EQ(view.state & expected.stateClear, 0) << std::hex << view.state;
    }
}

} // namespace

void WizardEndToEnd::ExpectTheSettingsPageRead(HWND settings)
{
    const std::wstring proposedFolder = WindowText(GetDlgItem(settings, IDC_FOLDER_EDIT));
    ExpectScreenReaderToRead(settings, {
        {IDC_INSTALL_BUTTON, L"Install", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_UNAVAILABLE},
        {IDC_ACCEPT_CHECK, L"I accept the License Terms", ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_FOCUSED,
         STATE_SYSTEM_CHECKED},
        {IDC_ACCEPT_LABEL, L"I accept the", ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_READONLY},
        {IDC_LICENSE_LINK, L"License Terms", ROLE_SYSTEM_LINK, STATE_SYSTEM_LINKED, STATE_SYSTEM_FOCUSED},
        {IDC_SETTINGS_LABEL, L"Installation settings", ROLE_SYSTEM_STATICTEXT},
        {IDC_EXPAND_BUTTON, L"Installation settings", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_EXPANDED,
         STATE_SYSTEM_COLLAPSED},
        {IDC_FOLDER_LABEL, L"Installation folder:", ROLE_SYSTEM_STATICTEXT},
        {IDC_FOLDER_EDIT, L"Installation folder:", ROLE_SYSTEM_TEXT, 0, STATE_SYSTEM_READONLY},
        {IDC_BROWSE_BUTTON, L"...", ROLE_SYSTEM_PUSHBUTTON},
    });
    EXPECT_EQ(ReadAsScreenReader(GetDlgItem(settings, IDC_FOLDER_EDIT)).value, proposedFolder);
}

// The states follow what the user does: the terms ticked, the settings area
// collapsed and expanded again, a folder typed.
void WizardEndToEnd::ExpectTheReadStatesToFollowTheUser(HWND wizard, HWND settings)
{
    ClickItem(settings, IDC_ACCEPT_CHECK);
    ClickItem(settings, IDC_EXPAND_BUTTON);
    HWND install = GetDlgItem(settings, IDC_INSTALL_BUTTON);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(install) != FALSE; }, 5000));
    WaitResponsive(wizard);
    ExpectScreenReaderToRead(settings, {
        {IDC_INSTALL_BUTTON, L"Install", ROLE_SYSTEM_PUSHBUTTON, 0, STATE_SYSTEM_UNAVAILABLE},
        {IDC_ACCEPT_CHECK, L"I accept the License Terms", ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_CHECKED},
        {IDC_EXPAND_BUTTON, L"Installation settings", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_COLLAPSED,
         STATE_SYSTEM_EXPANDED},
    });
    ClickItem(settings, IDC_EXPAND_BUTTON);
    SetWindowTextOf(GetDlgItem(settings, IDC_FOLDER_EDIT), m_installFolder);
    EXPECT_EQ(ReadAsScreenReader(GetDlgItem(settings, IDC_FOLDER_EDIT)).value, m_installFolder);
}

// Read while the cancel question holds the run still: the labels and the bar
// show one moment. No goes on with the installation.
void WizardEndToEnd::ReadTheStatusPageUnderTheCancelQuestion(HWND wizard, HWND status)
{
    HWND percentLabel = GetDlgItem(status, IDC_PERCENT_LABEL);
    ASSERT_TRUE(WaitUntil([&] { return _wtof(WindowText(percentLabel).c_str()) > 3.0; }, 60000));
    PostMessageW(wizard, WM_CLOSE, 0, 0);
    HWND box = WaitForMessageBox(10000);
    ASSERT_NE(box, nullptr);
    const std::wstring statusText = WindowText(GetDlgItem(status, IDC_STATUS_LABEL));
    const std::wstring percentShown = WindowText(percentLabel);
    ExpectScreenReaderToRead(status, {
        {IDC_STATUS_LABEL, statusText, ROLE_SYSTEM_STATICTEXT},
        {IDC_TIME_LABEL, WindowText(GetDlgItem(status, IDC_TIME_LABEL)), ROLE_SYSTEM_STATICTEXT},
        {IDC_PERCENT_LABEL, percentShown, ROLE_SYSTEM_STATICTEXT},
        {IDC_PROGRESS_BAR, statusText, ROLE_SYSTEM_PROGRESSBAR},
        {IDC_SLIDE_SHOW, kTourPage, ROLE_SYSTEM_LINK, STATE_SYSTEM_LINKED},
    });
    EXPECT_EQ(statusText, L"Downloading, please wait...");
    const std::optional<std::wstring> barValue = ReadAsScreenReader(GetDlgItem(status, IDC_PROGRESS_BAR)).value;
    ASSERT_TRUE(barValue.has_value());
    EXPECT_EQ(barValue->back(), L'%');
    // The bar says whole percents, the label tenths.
    EXPECT_LT(std::abs(_wtof(barValue->c_str()) - _wtof(percentShown.c_str())), 1.0)
        << Narrow(*barValue) << " against " << Narrow(percentShown);
    AnswerMessageBox(box, IDNO);
}

void WizardEndToEnd::ExpectTheSuccessPageRead(HWND wizard, HWND success)
{
    EXPECT_TRUE(BroughtToFront(wizard));
    WaitResponsive(wizard);
    ExpectScreenReaderToRead(success, {
        {IDC_START_NOW, L"Start Now", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_FOCUSED},
        // Never shown, and read as such.
        {IDC_LAUNCH_CHECK, std::wstring(L"Launch ") + kFullName, ROLE_SYSTEM_CHECKBUTTON, STATE_SYSTEM_INVISIBLE},
        {IDC_LAUNCH_LABEL, std::wstring(L"Launch ") + kFullName, ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_INVISIBLE},
    });
}

// "/lang <id>" shows the texts of that language when its folder beside the
// installer has a string.ini, and the usual language's otherwise.
TEST_F(WizardEndToEnd, AskedForLanguageGivesTheTextsWhenItsFolderIsThere)
{
    RemoveProduct();
    const std::wstring german = m_folder + L"\\language\\1031";
    CreateDirectoryW((m_folder + L"\\language").c_str(), nullptr);
    CreateDirectoryW(german.c_str(), nullptr);
    {
        const std::string text = "[UISTRING]\r\nIDS_INSTALL=Installieren\r\n";
        UniqueFile file(CreateFileW((german + L"\\string.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                    nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    }
    Serve(ServerScript{});
    for (const auto& [language, install] : {std::pair{L"1031", L"Installieren"}, std::pair{L"9999", L"Install"}}) {
        SCOPED_TRACE(Narrow(language));
        Start(std::wstring(L"/n /lang ") + language);
        HWND wizard = WaitForWizard();
        ASSERT_NE(wizard, nullptr);
        HWND settings = WaitForPanel(wizard, IDC_INSTALL_BUTTON, 30000);
        ASSERT_NE(settings, nullptr);
        EXPECT_EQ(WindowText(GetDlgItem(settings, IDC_INSTALL_BUTTON)), install);
        m_installer.Terminate();
    }
}

// The run ends while the cancel question is open (a prerequisite's installer
// was running, then the main package installed): the wizard waits for the
// answer before it moves on, and goes on to the success page after No.
TEST_F(WizardEndToEnd, TheEndOfTheRunWaitsForTheAnswerToTheCancelQuestion)
{
    ServerScript script;
    script.packageDelayMs = 0;
    script.prerequisite = "slow_setup.exe";
    script.prerequisiteFields = R"("file": "wiz_slow_setup.exe")";
    script.prerequisiteSha256 = Sha256Text(ReadWholeFile(FromUnix(KELM_RECORD_ARGS)));
    script.prerequisiteArguments = "/sleep=5000";
    HWND wizard = nullptr;
    HWND status = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartInstalling(script, wizard, status));
    HWND statusLabel = GetDlgItem(status, IDC_STATUS_LABEL);
    ASSERT_TRUE(WaitUntil([&] { return WindowText(statusLabel) == L"Installing, please wait..."; }, 60000));
    PostMessageW(wizard, WM_CLOSE, 0, 0);
    HWND box = WaitForMessageBox(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kCancelQuestion);
    // The prerequisite ends, the product installs, the run ends: all under the question.
    EXPECT_TRUE(WaitUntil([&] { return ProductInstalled(); }, 60000));
    Sleep(3000); // three polls' worth
    EXPECT_TRUE(IsWindow(box) && IsWindowVisible(box)) << "the question went away by itself";
    EXPECT_EQ(FindVisiblePanelWith(wizard, IDC_LAUNCH_CHECK), nullptr) << "the success page came under the question";
    EXPECT_TRUE(m_installer.IsRunning());
    AnswerMessageBox(box, IDNO);
    EXPECT_NE(WaitForPanel(wizard, IDC_LAUNCH_CHECK, 15000), nullptr) << "no success page after the answer";
    RemoveProduct();
}

// The package's server sends part of the file and then nothing more (a stalled
// mirror, a broken proxy): closing the wizard and answering Yes ends the
// installer within seconds, although WinINet still waits for the server.
TEST_F(WizardEndToEnd, CancelWhileTheServerHasGoneSilentEndsWithinSeconds)
{
    ServerScript script;
    script.packageStallAfter = 300000;
    HWND wizard = nullptr;
    HWND status = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartInstalling(script, wizard, status));
    HWND percentLabel = GetDlgItem(status, IDC_PERCENT_LABEL);
    auto percent = [&] { return _wtof(WindowText(percentLabel).c_str()); };
    ASSERT_TRUE(WaitUntil([&] { return percent() > 1.0; }, 60000));
    // The first 300000 bytes arrive, then nothing: the percentage stands still.
    double last = -1.0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const double now = percent();
            const bool still = now == last;
            last = now;
            return still;
        },
        60000, 1500));

    PostMessageW(wizard, WM_CLOSE, 0, 0);
    HWND box = WaitForMessageBox(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kCancelQuestion);
    AnswerMessageBox(box, IDYES);
    const ULONGLONG answered = GetTickCount64();
    EXPECT_TRUE(WaitUntil([&] { return !m_installer.IsRunning(); }, 20000, 20));
    const ULONGLONG took = GetTickCount64() - answered;
    EXPECT_LE(took, 5000u) << "the installer ended " << took << " ms after the Yes";
    EXPECT_FALSE(ProductInstalled());
    EXPECT_EQ(ExitCodeWithin(0), 1602) << "cancelled by the user";
}

TEST_F(WizardEndToEnd, SilentRunsShowNothing)
{
    RemoveProduct();
    ASSERT_FALSE(ProductInstalled());
    Serve(ServerScript());
    // "/s": installed, nothing visible, the client check and the engine each fetch the descriptor.
    // Not even a zero-size window is shown or activated: the user's program keeps the keyboard.
    Start(L"/s /log " + LogPath());
    EXPECT_EQ(WatchSilentRun(240000), "");
    ASSERT_FALSE(m_installer.IsRunning());
    EXPECT_TRUE(ProductInstalled());
    EXPECT_EQ(ExitCodeWithin(0), 0);
    ExpectTheLogToTellTheSilentRunInOrder();
    const size_t descriptorFetches = RequestCount("version.xml");
    Sleep(1000);
    EXPECT_TRUE(ReadLines(UrlLog()).empty());
    // No settings page: the product went where the configuration or the package put it.
    m_installFolder = InstalledLocation();
    ASSERT_FALSE(m_installFolder.empty());
    EXPECT_TRUE(FileExists(ProgramPath()));

    ASSERT_NO_FATAL_FAILURE(StartTheProductAfterASilentRunWithAnUnwritableLog());
    ASSERT_NO_FATAL_FAILURE(ExpectNoClientCheckInASilentRunWithN(descriptorFetches));
}

// The log tells the story in order: options, manifest, requests, files, the
// package, the end; the Windows Installer's own log lies beside it.
void WizardEndToEnd::ExpectTheLogToTellTheSilentRunInOrder()
{
    const std::string log = RunLog();
    size_t at = 0;
    for (const std::string step : {"options: silent 1", "manifest ", "product not installed", "GET http://",
                                   "client check: go on", "main package Zunder.msi", "installation: go on",
                                   "file written: ", "Windows Installer: installing ", "Windows Installer message ",
                                   "Windows Installer: Zunder.msi ended with 0", "installation run ended: finished",
                                   "exit code 0: installed"}) {
        const size_t found = log.find(step, at);
        EXPECT_NE(found, std::string::npos) << "\"" << step << "\" after position " << at << " in\n" << log;
        if (found != std::string::npos)
            at = found;
    }
    WIN32_FILE_ATTRIBUTE_DATA installerLog{};
    EXPECT_TRUE(GetFileAttributesExW((LogPath() + L".msi-Zunder.msi.log").c_str(), GetFileExInfoStandard, &installerLog))
        << "the Windows Installer's own log lies beside the run's log";
}

// "/s /l": the product is started after the installation. A log that cannot be
// written (no such folder) stops nothing.
void WizardEndToEnd::StartTheProductAfterASilentRunWithAnUnwritableLog()
{
    const size_t startsBefore = ReadLines(ProgramLog()).size();
    LoopbackServer::Get().Reset(m_prefix);
    Serve(ServerScript());
    Start(L"/s /l /log C:\\kelmwiz\\no\\such\\folder\\run.log");
    EXPECT_EQ(WatchSilentRun(240000), "");
    ASSERT_FALSE(m_installer.IsRunning());
    EXPECT_TRUE(WaitUntil([&] { return ReadLines(ProgramLog()).size() == startsBefore + 1; }, 20000));
    EXPECT_EQ(ExitCodeWithin(0), 0);
}

// "/s /n": no client check; the engine still checks the descriptor (fetched
// `descriptorFetches` times by a run with the check).
void WizardEndToEnd::ExpectNoClientCheckInASilentRunWithN(size_t descriptorFetches)
{
    LoopbackServer::Get().Reset(m_prefix);
    RemoveFolderTree(WorkFolder()); // else the verified package of the run before is taken as it is
    Serve(ServerScript());
    Start(L"/s /n");
    WaitUntil([&] { return !m_installer.IsRunning(); }, 240000);
    ASSERT_FALSE(m_installer.IsRunning());
    EXPECT_EQ(RequestCount("version.xml") + 1, descriptorFetches) << "the client check is the one fetch less";
    EXPECT_GE(RequestCount("version.xml"), 1u);
    EXPECT_EQ(RequestCount("Zunder.msi"), 2u);
}

TEST_F(WizardEndToEnd, PagesAt192Dpi)
{
    RemoveProduct();
    SetScreenDpi(192);
    ServerScript script;
    script.packageDelayMs = 20;
    script.descriptorDelayMs = 1600;
    Serve(script);
    Start(L"");
    HWND check = nullptr;
    EXPECT_TRUE(WaitUntil([&] { return (check = FindCheckDialog(m_installer.Id())) != nullptr && IsWindowVisible(check); },
                          30000));
    if (check != nullptr) {
        Sleep(300);
        SavePicture(check, L"check_dialog_192dpi");
    }
    HWND wizard = WaitForWizard();
    SetScreenDpi(96);
    ASSERT_NE(wizard, nullptr);
    HWND settings = WaitForPanel(wizard, IDC_INSTALL_BUTTON, 30000);
    ASSERT_NE(settings, nullptr);
    RECT rect{};
    GetWindowRect(wizard, &rect);
    EXPECT_EQ(rect.right - rect.left, 1324); // 4 pixels wider than the page at twice the DPI
    EXPECT_EQ(rect.bottom - rect.top, 892);
    Sleep(800);
    SavePicture(wizard, L"settings_192dpi");
    ExpectPageDrawn(settings, 2.0, 48);
    HWND status = InstallFromSettings(wizard);
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return _wtof(WindowText(GetDlgItem(status, IDC_PERCENT_LABEL)).c_str()) > 5.0; }, 60000));
    SavePicture(wizard, L"status_192dpi");
    ExpectPageDrawn(status, 2.0, 0);
    HWND success = FollowProgress(wizard);
    ASSERT_NE(success, nullptr);
    WaitResponsive(wizard);
    Sleep(800);
    SavePicture(wizard, L"success_192dpi");
    ExpectPageDrawn(success, 2.0, 90);
    PostMessageW(wizard, WM_CLOSE, 0, 0);
    ASSERT_TRUE(m_installer.WaitForExit(20000));
}

} // namespace kelm::test
