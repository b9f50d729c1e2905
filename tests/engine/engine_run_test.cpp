// Whole installation runs on the engine's worker: packages and a version
// descriptor served by the loopback test server, the prerequisite and the
// product installed for real, message boxes answered from this process.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <functional>
#include <mutex>
#include <optional>
#include <tuple>
#include <map>
#include <thread>

#include "config/installed_flags.h"
#include "config/installer_config.h"
#include "engine/install_engine.h"
#include "engine/exe_package.h"
#include "engine/install_status.h"
#include "engine_test_support.h"
#include "runlog/run_log.h"
#include "support/loopback_server.h"
#include "support/msi_products.h"
#include "driving/process_windows.h"
#include "support/registry_cleanup.h"
#include "transfer/download_job.h"
#include "transfer/sha256.h"

// While armed, every allocation through operator new on a thread other than the
// arming one fails: the engine's worker meets std::bad_alloc at its first step.
namespace {
std::atomic<DWORD> g_allocationThread{0};
}

void* operator new(std::size_t size)
{
    const DWORD allowed = g_allocationThread.load();
    if (allowed != 0 && ::GetCurrentThreadId() != allowed)
        throw std::bad_alloc();
    // The library's operator delete releases with free().
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

namespace kelm {
namespace {

// Arms the allocation failure for the lifetime of the object.
class FailingAllocationsElsewhere {
public:
    FailingAllocationsElsewhere() { g_allocationThread = ::GetCurrentThreadId(); }
    ~FailingAllocationsElsewhere() { g_allocationThread = 0; }
};

constexpr wchar_t kFullName[] = L"Zunder Pro Engine Test";
constexpr wchar_t kShortName[] = L"Zunder Test";
constexpr wchar_t kRegistryKey[] = L"SOFTWARE\\KelmwareEngineTest\\Run";
constexpr wchar_t kResourceLanguageKey[] = L"SOFTWARE\\Kelmware\\ResourceLangID";
constexpr wchar_t kServerDown[] =
    L"Unable to contact the download server. Check your Internet connection and try again. If the issue persists, "
    L"please contact Customer Care.";

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// "Z:\work\..." as the server (a Linux process) sees it.
std::string UnixPath(const std::wstring& windowsPath)
{
    std::string path = Narrow(windowsPath.substr(2));
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

std::string JsonString(std::string text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string Descriptor(const std::string& minimumClient)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><kelmwebinstaller>"
           "<product_code>{143D356E-5BF5-4666-B3C8-CE922D81A88E}</product_code>"
           "<fresh_install><product_version>8.0.1.0</product_version><min_web_installer_version>" +
           minimumClient +
           "</min_web_installer_version><web_installer_download_url>http://127.0.0.1/client.exe"
           "</web_installer_download_url></fresh_install>"
           "<patch_install><product_version>8.1.0.0</product_version><min_web_installer_version>" +
           minimumClient +
           "</min_web_installer_version><web_installer_download_url>http://127.0.0.1/client.exe"
           "</web_installer_download_url></patch_install></kelmwebinstaller>";
}

// Files of `folder` whose names end with `suffix`.
std::vector<std::wstring> FilesEndingWith(const std::wstring& folder, const std::wstring& suffix)
{
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((folder + L"*" + suffix).c_str(), &entry));
    if (find) {
        do {
            found.push_back(folder + entry.cFileName);
        } while (::FindNextFileW(find.Get(), &entry));
    }
    return found;
}

// Plays the status panel: polls g_installStatus, remembers what it saw, and may
// cancel the run (on its own thread, like the panel's user-interface thread).
class RunObserver {
public:
    using Trigger = std::function<bool(const InstallStatus&)>;

    RunObserver(CInstallEngine& engine, Trigger cancelWhen) : m_engine(engine), m_cancelWhen(std::move(cancelWhen)) {}

    // Polls until a final phase; false when none came within the time.
    bool WatchUntilEnd(DWORD milliseconds)
    {
        const ULONGLONG end = ::GetTickCount64() + milliseconds;
        int32_t lastIndex = -2;
        int32_t lastPhase = -1;
        int32_t lastPercent = 0;
        while (::GetTickCount64() < end) {
            const InstallStatus status = ReadInstallStatus();
            if (status.phase == lastPhase && status.index == lastIndex && status.percent < lastPercent &&
                status.phase == PhaseInstalling)
                m_percentWentDown = true;
            // A cancellation ends as cancelled, or as finished when it came too late to stop the product.
            if (m_sawCancelling && status.phase != PhaseCancelling && status.phase != PhaseCancelled &&
                status.phase != PhaseFinished)
                m_leftCancelling = true;
            if (status.phase == PhaseCancelling)
                m_sawCancelling = true;
            if (status.phase == PhaseDownloading)
                m_sawDownloading = true;
            if (status.phase == PhaseInstalling)
                m_installing[status.text] = status.index;
            lastPhase = status.phase;
            lastIndex = status.index;
            lastPercent = status.percent;
            if (IsFinalPhase(status.phase)) {
                m_final = status;
                m_finalTick = ::GetTickCount64();
                return true;
            }
            if (!m_cancelled && m_cancelWhen && m_cancelWhen(status)) {
                m_cancelled = true;
                m_cancelTick = ::GetTickCount64();
                m_engine.Cancel();
            }
            ::Sleep(2);
        }
        return false;
    }

    const InstallStatus& Final() const { return m_final; }
    bool Cancelled() const { return m_cancelled; }
    bool PercentWentDown() const { return m_percentWentDown; }
    bool LeftCancelling() const { return m_leftCancelling; }
    bool SawDownloading() const { return m_sawDownloading; }
    // From the Cancel to the final phase (milliseconds).
    ULONGLONG CancelToEnd() const { return m_finalTick - m_cancelTick; }
    // Install index of every package seen installing.
    const std::map<std::wstring, int32_t>& Installing() const { return m_installing; }

private:
    CInstallEngine& m_engine;
    Trigger m_cancelWhen;
    bool m_cancelled = false;
    bool m_percentWentDown = false;
    bool m_sawCancelling = false;
    bool m_leftCancelling = false;
    bool m_sawDownloading = false;
    std::map<std::wstring, int32_t> m_installing;
    InstallStatus m_final;
    ULONGLONG m_cancelTick = 0;
    ULONGLONG m_finalTick = 0;
};

// True while a process runs whose file name ends with `ending` (downloaded
// packages get a prefix of their own).
bool IsProcessRunning(const std::wstring& ending)
{
    UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        const std::wstring name = entry.szExeFile;
        if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            return true;
    }
    return false;
}

class EngineRunTest : public ::testing::Test {
public:
    void SetUp() override
    {
        ASSERT_TRUE(server.IsReady()) << server.Problem();
        prefix = std::string("/engine-run/") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
        Prepare();
    }

    // A fresh configuration, status record and set of routes; installed products stay.
    void Prepare()
    {
        ::SetEnvironmentVariableW(L"KELM_RECORD_SLEEP_MS", nullptr);
        server.Reset(prefix);
        servedSha256.clear();
        vouchForServed = true;
        ResetInstallStatus();
        registry.Clean();

        // Nothing downloaded earlier is there to be taken as it is.
        test::RemoveFolderTree(module.Path() + L"component");
        test::RemoveFolderTree(module.Path() + L"msi");
        ::CreateDirectoryW((module.Path() + L"component").c_str(), nullptr);
        ::CreateDirectoryW((module.Path() + L"msi").c_str(), nullptr);
        InstallerConfig& config = theConfig;
        config.moduleFolder = module.Path().substr(0, module.Path().size() - 1);
        config.componentFolder = module.Path() + L"component\\";
        config.msiFolder = module.Path() + L"msi\\";
        config.installFolder = installRoot.Path();
        config.homepageUrl.clear();
        config.installedProduct = InstalledProductInfo{};
        config.languages.langId = 1033;
        config.languages.languageFolder = module.Path() + L"language\\";

        ProductManifest manifest;
        manifest.web_installer_version = L"8.0.0.0";
        manifest.product_code = test::kProductCode;
        manifest.pid = L"ZUNDER-TEST";
        manifest.full_name = kFullName;
        manifest.short_name = kShortName;
        manifest.registry = kRegistryKey;
        manifest.targetVersion = L"8.0.1.0";
        manifest.version_check_url = Url("version.xml");
        manifest.mainComponent.name = L"product.msi";
        manifest.mainComponent.full_url = Url("full/product.msi");
        manifest.mainComponent.patch_url = Url("patch/product.msi");
        manifest.executable = L"ZunderTest.exe";
        manifest.dependencies.push_back({L"dep_setup.exe", Url("dep_setup.exe"), L"/q /norestart", L"", L""});
        config.manifest = std::move(manifest);

        InstalledFlags flags = AppInstalledFlags();
        flags.productInstalled = 0;
        flags.relatedProductInstalled = 0;

        ServeDescriptor("8.0.0.0");
        Serve("full/product.msi", test::TestPackage(L"product.msi"));
        Serve("patch/product.msi", test::TestPackage(L"product.msi"));
        Serve("failing.msi", test::TestPackage(L"failing.msi"));
        Serve("dep_setup.exe", test::TestBinaryFolder() + L"record_args.exe");
    }

    void TearDown() override
    {
        ResetInstallStatus();
        InstalledFlags flags = AppInstalledFlags();
        flags.productInstalled = 0;
        flags.relatedProductInstalled = 0;
        server.Reset(prefix);
    }

    std::wstring Url(const std::string& name) const { return server.Url(prefix + name); }

    void Serve(const std::string& name, const std::wstring& file, const std::string& extra = "")
    {
        ASSERT_TRUE(server.AddRoutes("{\"path\": " + JsonString(prefix + name) +
                                     ", \"file_path\": " + JsonString(UnixPath(file)) + extra + "}"));
        const UniqueFile held(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                            nullptr));
        servedSha256[Url(name)] = held ? Sha256OfOpenFile(held.Get()) : std::wstring();
    }

    // The manifest's packages get the SHA-256 of the files served at their
    // addresses, as a vendor's manifest gives them: a package over plain HTTP
    // without one is never run.
    void VouchForServedPackages()
    {
        auto vouch = [&](const std::wstring& url, std::wstring& sha256) {
            const auto served = servedSha256.find(url);
            if (sha256.empty() && served != servedSha256.end())
                sha256 = served->second;
        };
        ProductManifest& manifest = theConfig.manifest;
        for (DependencyInfo& dependency : manifest.dependencies) {
            if (dependency.publisher.empty())
                vouch(dependency.full_url, dependency.sha256);
        }
        if (manifest.mainComponent.publisher.empty()) {
            vouch(manifest.mainComponent.full_url, manifest.mainComponent.full_sha256);
            vouch(manifest.mainComponent.patch_url, manifest.mainComponent.patch_sha256);
        }
    }

    void ServeDescriptor(const std::string& minimumClient, const std::string& extra = "")
    {
        ASSERT_TRUE(server.AddRoutes("{\"path\": " + JsonString(prefix + "version.xml") +
                                     ", \"body\": " + JsonString(Descriptor(minimumClient)) + extra + "}"));
    }

    // Runs the engine to its end as the status panel would, answering boxes with `answer`.
    InstallStatus Run(RunObserver::Trigger cancelWhen = {}, int answer = IDOK)
    {
        test::MessageBoxAnswerer answerer(answer);
        InstallStatus final;
        if (vouchForServed)
            VouchForServedPackages();
        {
            CInstallEngine engine;
            engine.Start();
            RunObserver observer(engine, std::move(cancelWhen));
            EXPECT_TRUE(observer.WatchUntilEnd(120000)) << "no final phase";
            EXPECT_TRUE(engine.WaitForWorker(30000)) << "the worker did not end";
            EXPECT_FALSE(observer.PercentWentDown());
            EXPECT_FALSE(observer.LeftCancelling());
            cancelled = observer.Cancelled();
            cancelToEnd = observer.CancelToEnd();
            installing = observer.Installing();
            sawDownloading = observer.SawDownloading();
            final = observer.Final();
        }
        // The worker has ended with the engine; every box it showed has been seen.
        ::Sleep(100);
        boxes = answerer.Seen();
        return final;
    }

    std::wstring DependencyLog() const
    {
        std::vector<std::wstring> logs = FilesEndingWith(theConfig.componentFolder, L"dep_setup.exe.log");
        return logs.size() == 1 ? test::ReadTextFile(logs[0]) : std::wstring();
    }

    const test::LoopbackServer& server = test::LoopbackServer::Get();
    std::string prefix;
    test::TempFolder module{L"Kelm Run Module"};
    test::TempFolder installRoot{L"Kelm Run Product"};
    const test::RegistryCleanup registry{
        {HKEY_LOCAL_MACHINE, kRegistryKey},
        {HKEY_CURRENT_USER, kRegistryKey},
        {HKEY_CURRENT_USER, kResourceLanguageKey, installRoot.Path() + L"vennlink2.exe"}};
    // Destroyed first: the products go before their folders.
    const test::ProductRemovalGuard product{test::kProductCode};
    const test::ProductRemovalGuard failingProduct{test::kFailingProductCode};
    std::vector<test::SeenBox> boxes;
    std::map<std::wstring, std::wstring> servedSha256; // by address
    bool vouchForServed = true;
    std::map<std::wstring, int32_t> installing;
    bool cancelled = false;
    ULONGLONG cancelToEnd = 0;
    bool sawDownloading = false;
};

// Every status the engine stores during a run, in order.
std::vector<std::tuple<int32_t, int32_t, int32_t>> g_statusSteps;
void RecordStatusStep(InstallPhase phase, int32_t index, int32_t percent)
{
    g_statusSteps.emplace_back(phase, index, percent);
}

// The status panel's overall bar follows (phase, package, percent): it never
// goes back while the packages are downloaded and installed, not even between
// two packages or at the end of a download.
TEST_F(EngineRunTest, TheProgressOfARunNeverGoesBack)
{
    // A second Windows Installer package, installed before the product's own.
    constexpr wchar_t kCodecCode[] = L"{6A1D2C3B-7E8F-4A5B-9C0D-1E2F3A4B5C6D}";
    Serve("codec.msi", test::TestPackage(L"codec.msi"));
    theConfig.manifest.dependencies.push_back({L"codec.msi", Url("codec.msi"), L"", L"", L""});
    g_statusSteps.clear();
    SetInstallStatusListener(RecordStatusStep);
    const InstallStatus final = Run();
    SetInstallStatusListener(nullptr);
    EXPECT_EQ(PhaseFinished, final.phase);
    std::tuple<int32_t, int32_t, int32_t> highest{PhaseDownloading, 0, 0};
    bool sawSecondMsi = false;
    for (const auto& step : g_statusSteps) {
        const auto [phase, index, percent] = step;
        if (phase != PhaseDownloading && phase != PhaseInstalling)
            continue;
        EXPECT_GE(step, highest) << "phase " << phase << ", package " << index << ", " << percent << "%";
        highest = std::max(highest, step);
        // The product's package, after the EXE and the codec's package, counts its own progress from 0.
        if (phase == PhaseInstalling && index == 2 && percent > 0 && percent < 100)
            sawSecondMsi = true;
    }
    EXPECT_TRUE(sawSecondMsi) << "the last package showed no progress of its own";
    test::RemoveProduct(test::kProductCode);
    test::RemoveProduct(kCodecCode);
}

TEST_F(EngineRunTest, FreshRunInstallsEverythingAndRegistersEachLanguage)
{
    for (int32_t language : {1033, 1031}) {
        SCOPED_TRACE(language);
        theConfig.languages.langId = language;
        theConfig.homepageUrl.clear();
        const InstallStatus final = Run();

        EXPECT_EQ(PhaseFinished, final.phase);
        EXPECT_EQ(-1, final.index);
        EXPECT_TRUE(boxes.empty());
        EXPECT_TRUE(test::IsProductInstalled(test::kProductCode));
        const std::wstring folder = installRoot.Path(); // ends with a backslash
        EXPECT_TRUE(::PathFileExistsW((folder + L"ZunderTest.exe").c_str()));
        EXPECT_EQ(test::kProductHomePage, theConfig.homepageUrl);

        // The prerequisite ran from the component folder with its arguments, as a child of the installer.
        const std::wstring log = DependencyLog();
        EXPECT_EQ(std::to_wstring(::GetCurrentProcessId()) + L"|", log.substr(0, log.find(L'|') + 1));
        EXPECT_NE(std::wstring::npos, log.find(L"dep_setup.exe\" /q /norestart\n")) << log;

        EXPECT_EQ(folder, test::ReadRegistryString(HKEY_LOCAL_MACHINE, kRegistryKey, L"InstallDir"));
        EXPECT_EQ(folder + L"ZunderTest.exe", test::ReadRegistryString(HKEY_LOCAL_MACHINE, kRegistryKey, L"exe"));
        const std::optional<DWORD> expected =
            language == 1033 ? std::nullopt : std::optional<DWORD>(static_cast<DWORD>(language));
        EXPECT_EQ(expected, test::ReadRegistryDword(HKEY_LOCAL_MACHINE, std::wstring(kRegistryKey) + L"\\LanguagePacks",
                                                    L"InitialLangID"));
        EXPECT_EQ(expected, test::ReadRegistryDword(HKEY_CURRENT_USER, kRegistryKey, L"ApplicationLanguage"));
        EXPECT_EQ(language == 1033 ? std::nullopt : std::optional<std::wstring>(L"1031"),
                  test::ReadRegistryString(HKEY_CURRENT_USER, kResourceLanguageKey, folder + L"vennlink2.exe"));

        // Every request went to the manifest's addresses: descriptor, prerequisite, full package.
        std::vector<std::string> targets;
        for (const test::LoggedRequest& request : server.Requests(prefix))
            if (targets.empty() || targets.back() != request.target)
                targets.push_back(request.target);
        EXPECT_EQ((std::vector<std::string>{prefix + "version.xml", prefix + "dep_setup.exe",
                                            prefix + "full/product.msi"}),
                  targets);

        test::RemoveProduct(test::kProductCode);
        registry.Clean();
        for (const std::wstring& file : FilesEndingWith(theConfig.componentFolder, L".log"))
            ::DeleteFileW(file.c_str());
        Prepare();
    }
}

TEST_F(EngineRunTest, InstalledProductIsUpdatedFromThePatchAddressWithoutRegistration)
{
    // Installed first, as a previous run would have done.
    ASSERT_EQ(PhaseFinished, Run().phase);
    Prepare();
    InstalledFlags flags = AppInstalledFlags();
    flags.productInstalled = 1;
    theConfig.installedProduct = InstalledProductInfo{L"8.0.1.0", kFullName, installRoot.Path()};
    theConfig.manifest.dependencies.clear();

    const InstallStatus final = Run();
    EXPECT_EQ(PhaseFinished, final.phase);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(test::IsProductInstalled(test::kProductCode));
    EXPECT_EQ(std::nullopt, test::ReadRegistryString(HKEY_LOCAL_MACHINE, kRegistryKey, L"exe"));
    EXPECT_EQ(std::nullopt, test::ReadRegistryString(HKEY_LOCAL_MACHINE, kRegistryKey, L"InstallDir"));
    EXPECT_TRUE(server.Requests(prefix + "full/").empty());
    EXPECT_FALSE(server.Requests(prefix + "patch/product.msi").empty());
}

TEST_F(EngineRunTest, StandaloneManifestInstallsFromTheLocalFoldersWithoutAnyRequest)
{
    theConfig.manifest.standalone = 1;
    ASSERT_TRUE(test::CopyTestFile(test::TestBinaryFolder() + L"record_args.exe",
                                   theConfig.componentFolder + L"dep_setup.exe"));
    ASSERT_TRUE(test::CopyTestFile(test::TestPackage(L"product.msi"), theConfig.msiFolder + L"product.msi"));

    const InstallStatus final = Run();
    EXPECT_EQ(PhaseFinished, final.phase);
    EXPECT_TRUE(final.downloadShares.empty());
    EXPECT_EQ((std::vector<int32_t>{44, 56}), final.installShares);
    EXPECT_FALSE(sawDownloading);
    EXPECT_TRUE(server.Requests(prefix).empty());
    EXPECT_TRUE(test::IsProductInstalled(test::kProductCode));
    EXPECT_NE(std::wstring::npos,
              test::ReadTextFile(theConfig.componentFolder + L"dep_setup.exe.log").find(L"\" /q /norestart\n"));
}

// The packages beside a standalone installer are held from their check to their
// use and must be what the manifest says: its size, its SHA-256, its publisher.
TEST_F(EngineRunTest, StandalonePackagesThatAreNotWhatTheManifestSaysNeverRun)
{
    const std::wstring recorder = test::TestBinaryFolder() + L"record_args.exe";
    const UniqueFile held(::CreateFileW(recorder.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
    const std::wstring rightHash = Sha256OfOpenFile(held.Get());
    ASSERT_EQ(64u, rightHash.size());
    const struct {
        const char* name;
        std::function<void(ProductManifest&)> edit;
        bool prerequisiteRuns;
        bool installed;
    } cases[] = {
        {"its SHA-256", [&](ProductManifest& m) { m.dependencies[0].sha256 = rightHash; }, true, true},
        {"another SHA-256", [](ProductManifest& m) { m.dependencies[0].sha256 = std::wstring(64, L'b'); }, false,
         false},
        {"another size", [](ProductManifest& m) { m.dependencies[0].size = L"12"; }, false, false},
        {"a publisher that did not sign it",
         [](ProductManifest& m) { m.mainComponent.publisher = L"Kelmware Test Signing"; }, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare();
        vouchForServed = false;
        theConfig.manifest.standalone = 1;
        c.edit(theConfig.manifest);
        ASSERT_TRUE(test::CopyTestFile(recorder, theConfig.componentFolder + L"dep_setup.exe"));
        ASSERT_TRUE(test::CopyTestFile(test::TestPackage(L"product.msi"), theConfig.msiFolder + L"product.msi"));
        const InstallStatus final = Run();
        EXPECT_EQ(c.installed ? PhaseFinished : PhaseInstallFailed, final.phase);
        EXPECT_EQ(c.installed ? ExitCode::Installed : ExitCode::InstallFailed, RecordedExitCode());
        EXPECT_EQ(c.installed, test::IsProductInstalled(test::kProductCode));
        EXPECT_EQ(c.prerequisiteRuns, !test::ReadTextFile(theConfig.componentFolder + L"dep_setup.exe.log").empty());
        test::RemoveProduct(test::kProductCode);
    }
}

TEST_F(EngineRunTest, PackagesAreInstalledByExtensionAndMissingOnesAreSkipped)
{
    theConfig.manifest.standalone = 1;
    theConfig.manifest.dependencies = {
        {L"readme.zip", L"", L"", L"", L""}, {L"missing.exe", L"", L"/q", L"", L""}, {L"SECOND.EXE", L"", L"/q", L"", L""}};
    const std::wstring recorder = test::TestBinaryFolder() + L"record_args.exe";
    ASSERT_TRUE(test::CopyTestFile(recorder, theConfig.componentFolder + L"readme.zip"));
    ASSERT_TRUE(test::CopyTestFile(recorder, theConfig.componentFolder + L"SECOND.EXE"));
    ASSERT_TRUE(test::CopyTestFile(test::TestPackage(L"product.msi"), theConfig.msiFolder + L"product.msi"));

    EXPECT_EQ(PhaseFinished, Run().phase);
    // The .zip counts as installed (index 0, too quick to be seen every time); the
    // missing package is skipped and the next one takes its index.
    installing.erase(L"readme.zip");
    EXPECT_EQ((std::map<std::wstring, int32_t>{{L"SECOND.EXE", 1}, {L"product.msi", 2}}), installing);
    EXPECT_FALSE(test::ReadTextFile(theConfig.componentFolder + L"SECOND.EXE.log").empty());
    EXPECT_TRUE(test::ReadTextFile(theConfig.componentFolder + L"readme.zip.log").empty()) << "a .zip is never run";
    EXPECT_TRUE(test::IsProductInstalled(test::kProductCode));
}

TEST_F(EngineRunTest, FailingPackageEndsTheRunAsFailedWithoutAMessageOfItsOwn)
{
    theConfig.manifest.mainComponent.name = L"failing.msi";
    theConfig.manifest.mainComponent.full_url = Url("failing.msi");
    const InstallStatus final = Run();
    EXPECT_EQ(PhaseInstallFailed, final.phase);
    // The installer's own words reach the user, and only they (Wine shows the
    // package's launch condition once the handler has switched the internal
    // level to basic).
    EXPECT_FALSE(boxes.empty()) << "the installer's message did not reach the user";
    for (const test::SeenBox& box : boxes)
        EXPECT_EQ(L"This package never installs.", box.text);
    EXPECT_FALSE(test::IsProductInstalled(test::kFailingProductCode));
    EXPECT_EQ(std::nullopt, test::ReadRegistryString(HKEY_LOCAL_MACHINE, kRegistryKey, L"exe"));
    EXPECT_EQ(L"", theConfig.homepageUrl);
}

TEST_F(EngineRunTest, UnreachableServerSaysSoAndFails)
{
    // Each fetch is asked five times; short waits between the attempts keep the test quick.
    struct QuickRetries {
        QuickRetries() { SetRetryWaitUnit(50); }
        ~QuickRetries() { SetRetryWaitUnit(kDefaultRetryWaitUnit); }
    } quickRetries;
    struct DownCase {
        const char* name;
        std::function<void(EngineRunTest&)> arrange;
        std::wstring logged; // what the run's log says of the failed step and its object
    };
    const DownCase cases[] = {
        {"no server at the descriptor's address",
         [](EngineRunTest&) { theConfig.manifest.version_check_url = L"http://127.0.0.1:9/version.xml"; },
         L"version check: http://127.0.0.1:9/version.xml could not be fetched: the network or the server failed"},
        {"the package is missing on the server",
         [](EngineRunTest& t) { theConfig.manifest.mainComponent.full_url = t.Url("missing/product.msi"); },
         L"from " + Url("missing/product.msi") + L" failed: the network or the server failed"},
        {"the descriptor is not XML",
         [](EngineRunTest& t) {
             t.server.AddRoutes("{\"path\": " + JsonString(t.prefix + "version.xml") + ", \"body\": \"<<<\"}");
         },
         L"version.xml gave no version descriptor"},
    };
    test::TempFolder logFolder{L"Kelm Run Log"};
    for (const DownCase& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare();
        c.arrange(*this);
        const std::wstring logPath = logFolder.Path() + L"run.log";
        ::DeleteFileW(logPath.c_str());
        OpenRunLog(logPath);
        const InstallStatus final = Run();
        CloseRunLog();
        const std::wstring log = test::ReadTextFile(logPath);
        EXPECT_NE(log.find(c.logged), std::wstring::npos) << ::testing::PrintToString(log);
        EXPECT_EQ(PhaseInstallFailed, final.phase);
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(kServerDown, boxes[0].text);
        EXPECT_EQ(kShortName, boxes[0].caption);
        EXPECT_FALSE(test::IsProductInstalled(test::kProductCode));
    }
}

// The message and the exit code come from one outcome: a package whose size
// cannot be read is a fault of the manifest, told as one and ended with its code.
TEST_F(EngineRunTest, APackageTheManifestCannotDescribeEndsAsAManifestFault)
{
    theConfig.manifest.mainComponent.full_size = L"12 MB";
    const InstallStatus final = Run();
    EXPECT_EQ(PhaseInstallFailed, final.phase);
    EXPECT_EQ(ExitCode::BadManifest, RecordedExitCode());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(L"The installer cannot start: in its manifest file " + theConfig.manifestPath + L", " +
                  theConfig.manifest.mainComponent.name + L" cannot be used: its size \"12 MB\" is not a number of bytes.",
              boxes[0].text);
    EXPECT_EQ(kShortName, boxes[0].caption);
    EXPECT_TRUE(server.Requests(prefix + "full/").empty());
}

// The volume of 8 MiB the small_volume fixture mounts; nothing when the machine refused the mount.
std::optional<std::wstring> SmallVolume()
{
    const std::wstring folder = test::UnixPathToWindows(KELM_SMALL_VOLUME) + L"\\";
    ULARGE_INTEGER total{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), nullptr, &total, nullptr) || total.QuadPart > 16ull * 1024 * 1024)
        return std::nullopt;
    return folder;
}

// Takes the volume's free space down to about `leave` bytes with a file of zeros.
void FillVolume(const std::wstring& folder, std::uint64_t leave)
{
    ULARGE_INTEGER available{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr));
    if (available.QuadPart <= leave)
        return;
    const std::string zeros(static_cast<size_t>(available.QuadPart - leave), '\0');
    UniqueFile filler(::CreateFileW((folder + L"filler.bin").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    ASSERT_TRUE(filler.IsValid());
    ::SetFilePointer(filler.Get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    ::WriteFile(filler.Get(), zeros.data(), static_cast<DWORD>(zeros.size()), &written, nullptr);
}

// A full disk is told as one wherever the run meets it, with the disk message
// naming the folder and exit code 112: the descriptor, a package before its
// first byte, and a write that fails midway.
TEST_F(EngineRunTest, AFullVolumeIsToldAsOneAndEndsWith112)
{
    const std::optional<std::wstring> volume = SmallVolume();
    if (!volume)
        GTEST_SKIP() << "no small volume: the machine refused the tmpfs mount (tests/engine/small-volume.sh)";
    const std::uint64_t MiB = 1024 * 1024;
    const struct {
        const char* name;
        std::uint64_t leaveBefore;  // free bytes when the run starts
        std::uint64_t leaveDuring;  // free bytes once the main package's download is under way (0: not filled)
        bool packageRequested;      // the main package's body was asked for
    } cases[] = {
        {"the descriptor", 512 * 1024, 0, false},
        {"a package before its first byte", 3 * MiB, 0, false},
        {"a write that fails midway", 7 * MiB, 64 * 1024, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare();
        test::RemoveFolderTree(*volume + L"run");
        ::DeleteFileW((*volume + L"filler.bin").c_str());
        ::CreateDirectoryW((*volume + L"run").c_str(), nullptr);
        theConfig.componentFolder = *volume + L"run\\";
        theConfig.msiFolder = *volume + L"run\\";
        // A main package of 4 MiB, slow enough (about 2.5 s) to be under way when the volume fills.
        ASSERT_TRUE(server.AddRoutes("{\"path\": " + JsonString(prefix + "full/product.msi") +
                                     R"(, "body_size": 4194304, "piece_size": 65536, "piece_delay_ms": 40})"));
        vouchForServed = false;
        theConfig.manifest.dependencies.clear();
        FillVolume(*volume, c.leaveBefore);
        bool filled = false;
        const InstallStatus final = Run([&](const InstallStatus& status) {
            if (c.leaveDuring && !filled && status.phase == PhaseDownloading && status.percent > 0) {
                filled = true;
                FillVolume(*volume, c.leaveDuring);
            }
            return false;
        });
        EXPECT_EQ(PhaseInstallFailed, final.phase);
        EXPECT_EQ(ExitCode::DiskFull, RecordedExitCode());
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(0u, boxes[0].text.find(L"There is not enough free disk space in " + *volume + L"run\\ for the download"))
            << ::testing::PrintToString(boxes[0].text);
        bool bodyAsked = false;
        for (const test::LoggedRequest& request : server.Requests(prefix + "full/product.msi"))
            bodyAsked = bodyAsked || request.method == "GET";
        EXPECT_EQ(c.packageRequested, bodyAsked);
        test::RemoveFolderTree(*volume + L"run");
        ::DeleteFileW((*volume + L"filler.bin").c_str());
    }
}

// Addresses that do not serve their file give way to their mirrors: the
// descriptor's and the main package's.
TEST_F(EngineRunTest, MirrorsServeTheDescriptorAndAPackageTheirAddressesDoNot)
{
    const test::ProductRemovalGuard product{test::kProductCode};
    Prepare();
    ProductManifest& manifest = theConfig.manifest;
    manifest.version_check_url = Url("missing/version.xml");
    manifest.version_check_mirrors = {Url("version.xml")};
    manifest.mainComponent.full_url = Url("missing/product.msi");
    manifest.mainComponent.full_mirrors = {Url("missing/again/product.msi"), Url("full/product.msi")};
    manifest.mainComponent.full_sha256 = servedSha256[Url("full/product.msi")];
    EXPECT_EQ(PhaseFinished, Run().phase);
    EXPECT_EQ(ExitCode::Installed, RecordedExitCode());
    EXPECT_TRUE(test::IsProductInstalled(test::kProductCode));
    EXPECT_EQ(1u, server.Requests(prefix + "missing/again/").size()) << "its size query, answered 404";
    EXPECT_FALSE(server.Requests(prefix + "full/product.msi").empty());
}

TEST_F(EngineRunTest, DescriptorOutcomesShowTheirMessageAndFail)
{
    struct OutcomeCase {
        const char* name;
        std::function<void(EngineRunTest&)> arrange;
        std::wstring message;
    };
    const OutcomeCase cases[] = {
        {"1: already installed",
         [](EngineRunTest&) {
             AppInstalledFlags().productInstalled = 1;
             theConfig.installedProduct = InstalledProductInfo{L"8.1.0.0", kFullName, L""};
         },
         L"Zunder Test is already installed. Would you like to launch it?"},
        {"2: client too old", [](EngineRunTest& t) { t.ServeDescriptor("8.0.0.1"); },
         L"The version of your client is too old, please click \"OK\" to download the latest client."},
        {"6: another product installed",
         [](EngineRunTest&) {
             AppInstalledFlags().relatedProductInstalled = 1;
             theConfig.installedProduct = InstalledProductInfo{L"7.0.0.0", L"Zunder Classic", L""};
         },
         L"Another version of this product is already installed. Installation of this version cannot continue. "
         L"To configure or remove the existing version of this product, use Add/Remove Programs on the Control "
         L"Panel."},
    };
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare();
        c.arrange(*this);
        const InstallStatus final = Run({}, IDCANCEL);
        EXPECT_EQ(PhaseInstallFailed, final.phase);
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(c.message, boxes[0].text);
        EXPECT_EQ(L"Windows Installer", boxes[0].caption);
        EXPECT_TRUE(server.Requests(prefix + "full/").empty());
        AppInstalledFlags().productInstalled = 0;
        AppInstalledFlags().relatedProductInstalled = 0;
    }
}

// A cancellation ends the run as cancelled, without another message; one that
// comes after the product was installed cannot undo that, and the run ends as
// installed (it used to end as cancelled with the product there).
TEST_F(EngineRunTest, CancelAtAnyMomentEndsCancelledWithoutAnotherMessage)
{
    struct CancelCase {
        const char* name;
        std::function<void(EngineRunTest&)> arrange;
        RunObserver::Trigger cancelWhen;
        bool productMayBeInstalled; // Wine's installer ignores Cancel answers
        std::function<void()> verify = {};
        bool installedAnyway = false; // the last package had already started: it runs to its end
    };
    const std::string slowly = ", \"piece_size\": 256, \"piece_delay_ms\": 60";
    const CancelCase cases[] = {
        {"during the descriptor", [&](EngineRunTest& t) { t.ServeDescriptor("8.0.0.0", slowly); },
         [](const InstallStatus&) { return true; }, false},
        {"during a download",
         [&](EngineRunTest& t) { t.Serve("full/product.msi", test::TestPackage(L"product.msi"), slowly); },
         [](const InstallStatus& s) { return s.phase == PhaseDownloading && s.index == 1 && s.percent >= 10; },
         false},
        {"during an EXE installer",
         [](EngineRunTest&) { theConfig.manifest.dependencies[0].install_commandline = L"/q /sleep=1500"; },
         [](const InstallStatus& s) { return s.phase == PhaseInstalling && s.text == L"dep_setup.exe"; }, false},
        {"during the MSI installation", [](EngineRunTest&) {},
         [](const InstallStatus& s) { return s.phase == PhaseInstalling && s.text == L"product.msi"; }, true},
        // The last package runs to its end and every step succeeds; the run is cancelled all the same.
        {"during the last package",
         [](EngineRunTest& t) {
             theConfig.manifest.dependencies.clear();
             theConfig.manifest.mainComponent.name = L"main_setup.exe";
             theConfig.manifest.mainComponent.full_url = t.Url("main_setup.exe");
             t.Serve("main_setup.exe", test::TestBinaryFolder() + L"record_args.exe");
             ::SetEnvironmentVariableW(L"KELM_RECORD_SLEEP_MS", L"1500");
         },
         [](const InstallStatus& s) { return s.phase == PhaseInstalling && s.text == L"main_setup.exe"; }, false,
         [] { EXPECT_FALSE(test::ReadTextFile(theConfig.msiFolder + L"main_setup.exe.log").empty()); }, true},
    };
    for (const CancelCase& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare();
        c.arrange(*this);
        const InstallStatus final = Run(c.cancelWhen);
        EXPECT_TRUE(cancelled);
        // Wine's installer may finish an MSI package although it was answered Cancel.
        const bool installed = c.installedAnyway ||
                               (c.productMayBeInstalled && test::IsProductInstalled(test::kProductCode));
        EXPECT_EQ(installed ? PhaseFinished : PhaseCancelled, final.phase);
        EXPECT_EQ(installed ? ExitCode::Installed : ExitCode::Cancelled, RecordedExitCode());
        EXPECT_EQ(-1, final.index);
        EXPECT_TRUE(boxes.empty()) << boxes.size() << " message(s), the first: "
                                   << testing::PrintToString(boxes.empty() ? L"" : boxes[0].text);
        if (!c.productMayBeInstalled) {
            EXPECT_FALSE(test::IsProductInstalled(test::kProductCode));
        }
        if (c.verify)
            c.verify();
        test::RemoveProduct(test::kProductCode);
        registry.Clean();
    }
    ::SetEnvironmentVariableW(L"KELM_RECORD_SLEEP_MS", nullptr);
}

// Wherever the worker waits, a Cancel ends the run within seconds: a server that
// stops sending or never answers is broken off at once, an EXE installer that
// does not end is waited for a bounded time and then left running.
TEST_F(EngineRunTest, CancelEndsTheRunWithinSecondsWhereverItWaits)
{
    struct StuckCase {
        const char* name;
        std::function<void(EngineRunTest&)> arrange;
        RunObserver::Trigger cancelWhen;
        ULONGLONG limit;
        bool exeLeftRunning = false;
    };
    auto afterASecond = [start = ULONGLONG{0}](const InstallStatus&) mutable {
        if (start == 0)
            start = ::GetTickCount64();
        return ::GetTickCount64() - start >= 1000;
    };
    const StuckCase cases[] = {
        {"a package download that stalls",
         [](EngineRunTest& t) {
             t.Serve("full/product.msi", test::TestPackage(L"product.msi"),
                     ", \"drop_after\": 4000, \"hold_ms\": 120000"); // of 10240 bytes
         },
         [](const InstallStatus& s) { return s.phase == PhaseDownloading && s.index == 1 && s.percent >= 1; }, 2000},
        {"a descriptor server that never answers",
         [](EngineRunTest& t) { t.ServeDescriptor("8.0.0.0", ", \"silent_ms\": 120000"); }, afterASecond, 2000},
        {"an EXE installer that does not end",
         [](EngineRunTest&) { theConfig.manifest.dependencies[0].install_commandline = L"/q /sleep=10000"; },
         [](const InstallStatus& s) { return s.phase == PhaseInstalling && s.text == L"dep_setup.exe"; },
         kCancelledExeGrace + 1500, true},
    };
    for (const StuckCase& c : cases) {
        SCOPED_TRACE(c.name);
        Prepare();
        c.arrange(*this);
        const InstallStatus final = Run(c.cancelWhen);
        ASSERT_TRUE(cancelled) << "ended in phase " << final.phase << " with exit code "
                               << static_cast<int>(RecordedExitCode());
        EXPECT_EQ(PhaseCancelled, final.phase);
        EXPECT_EQ(ExitCode::Cancelled, RecordedExitCode());
        EXPECT_LE(cancelToEnd, c.limit);
        EXPECT_TRUE(boxes.empty());
        EXPECT_FALSE(test::IsProductInstalled(test::kProductCode));
        // Never killed half-way: the installer is still there, and ends by itself.
        EXPECT_EQ(c.exeLeftRunning, IsProcessRunning(L"dep_setup.exe"));
        EXPECT_TRUE(test::WaitUntil([] { return !IsProcessRunning(L"dep_setup.exe"); }, 20000));
    }
}

TEST_F(EngineRunTest, CancelWhilePausedOrWhileTheVersionMessageIsOpenEndsCancelled)
{
    {
        SCOPED_TRACE("paused download");
        Serve("full/product.msi", test::TestPackage(L"product.msi"), ", \"piece_size\": 256, \"piece_delay_ms\": 60");
        test::MessageBoxAnswerer answerer(IDOK);
        VouchForServedPackages();
        CInstallEngine engine;
        engine.Start();
        ASSERT_TRUE(test::WaitUntil(
            [] {
                InstallStatus s = ReadInstallStatus();
                return s.phase == PhaseDownloading && s.index == 1 && s.percent > 0;
            },
            30000));
        engine.Pause();
        ::Sleep(300);
        const InstallStatus held = ReadInstallStatus();
        ::Sleep(500);
        EXPECT_EQ(held.percent, ReadInstallStatus().percent) << "a paused transfer reports nothing";
        engine.Cancel();
        EXPECT_TRUE(engine.WaitForWorker(30000));
        EXPECT_EQ(PhaseCancelled, ReadInstallStatus().phase);
        EXPECT_EQ(0u, answerer.Count());
    }
    Prepare();
    {
        SCOPED_TRACE("version message open");
        ServeDescriptor("9.0.0.0");
        CInstallEngine engine;
        test::MessageBoxAnswerer answerer([&](size_t, const test::SeenBox&) {
            engine.Cancel();
            return IDOK;
        });
        engine.Start();
        EXPECT_TRUE(engine.WaitForWorker(30000));
        EXPECT_EQ(PhaseCancelled, ReadInstallStatus().phase);
        EXPECT_EQ(1u, answerer.Count());
    }
}

TEST_F(EngineRunTest, AnExceptionInsideTheRunStillEndsItInAFinalPhase)
{
    for (bool cancelFirst : {false, true}) {
        SCOPED_TRACE(cancelFirst ? "while cancelling" : "plain run");
        Prepare();
        InstallPhase phase = PhaseInit;
        {
            CInstallEngine engine;
            if (cancelFirst)
                engine.Cancel();
            {
                FailingAllocationsElsewhere failing;
                engine.Start();
                test::WaitUntil([] { return IsFinalPhase(CurrentInstallPhase()); }, 30000);
                phase = CurrentInstallPhase();
            }
            EXPECT_TRUE(engine.WaitForWorker(30000));
        }
        EXPECT_EQ(cancelFirst ? PhaseCancelled : PhaseInstallFailed, phase);
        EXPECT_TRUE(server.Requests(prefix).empty());
    }
}

TEST_F(EngineRunTest, SharesFollowThePackagesToDownloadAndInstall)
{
    struct ShareCase {
        std::vector<DependencyInfo> dependencies;
        int32_t standalone;
        std::vector<int32_t> download;
        std::vector<int32_t> install;
    };
    const DependencyInfo vcRedist{L"vc_redist.exe", L"http://127.0.0.1/vc_redist.exe", L"/q", L"", L""};
    const DependencyInfo webView{L"webview2.exe", L"http://127.0.0.1/webview2.exe", L"/silent", L"", L""};
    const ShareCase cases[] = {
        {{vcRedist, webView}, 0, {30, 30, 40}, {30, 30, 40}},
        {{vcRedist}, 0, {44, 56}, {44, 56}},
        {{}, 0, {100}, {100}},
        {{vcRedist, webView}, 1, {}, {30, 30, 40}},
    };
    for (const ShareCase& c : cases) {
        theConfig.manifest.dependencies = c.dependencies;
        theConfig.manifest.standalone = c.standalone;
        CInstallEngine engine;
        engine.BuildPackageList();
        const InstallStatus status = ReadInstallStatus();
        EXPECT_EQ(c.download, status.downloadShares);
        EXPECT_EQ(c.install, status.installShares);
        ASSERT_EQ(c.dependencies.size() + 1, engine.Packages().size());
        EXPECT_EQ(theConfig.msiFolder + L"product.msi", engine.Packages().back().localPath);
        EXPECT_EQ(c.standalone ? 0 : 1, engine.Packages().back().needsDownload);
    }
    // The update address serves only an installed product, and only when it is given.
    AppInstalledFlags().productInstalled = 1;
    for (const wchar_t* patch : {L"", L"http://127.0.0.1/patch.msi"}) {
        theConfig.manifest.mainComponent.patch_url = patch;
        CInstallEngine engine;
        engine.BuildPackageList();
        EXPECT_EQ(*patch ? std::wstring(patch) : theConfig.manifest.mainComponent.full_url,
                  engine.Packages().back().url);
    }
}

} // namespace
} // namespace kelm
