// The demo's packages against the real Windows Installer of the test prefix: the
// product's two releases (first installation, update by reinstallation, the
// properties the installer client relies on), the product program's instance
// semaphore, and the prerequisite installer's quiet and interactive runs.

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "framework/handles.h"

namespace {

constexpr wchar_t kProductCode[] = L"{580D94DB-01C3-4959-9172-4F6E1569690A}";
constexpr wchar_t kUpgradeCode[] = L"{DBBD8404-4F73-4057-8D2D-2A1D73DAA88B}";
constexpr wchar_t kProductName[] = L"Zunder Pro Video Editor 8";
constexpr wchar_t kExeName[] = L"Zunder Pro Video Editor 8.exe";
constexpr wchar_t kInstanceSemaphore[] = L"MirelleZunderInstance_80";
constexpr wchar_t kEditorClass[] = L"ZunderDemoEditorWindow";
constexpr wchar_t kRuntimeKey[] = L"SOFTWARE\\Kelmware\\Zunder Runtime 8";

std::wstring BuildPath(const std::wstring& relative)
{
    const char* build = std::getenv("KELM_BUILD_DIR");
    std::wstring path = L"Z:";
    for (const char* c = build ? build : ""; *c; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path + L"\\" + relative;
}

std::wstring ReleasePackage(const wchar_t* version)
{
    return BuildPath(std::wstring(L"demo\\release-") + version + L"\\ZunderPro8.msi");
}

std::wstring TestFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"zunder-demo-package-test";
}

std::wstring ProductInfo(const wchar_t* property)
{
    wchar_t buffer[260] = {};
    DWORD length = 260;
    if (MsiGetProductInfoW(kProductCode, property, buffer, &length) != ERROR_SUCCESS)
        return L"(unavailable)";
    return buffer;
}

// Collects the information messages of one installation, as the installer client's
// handler sees them.
struct InstallLog {
    std::vector<std::wstring> lines;
};

int WINAPI CollectMessages(LPVOID context, UINT messageType, LPCWSTR message)
{
    if (message && (messageType & 0xFF000000) == INSTALLMESSAGE_INFO)
        static_cast<InstallLog*>(context)->lines.emplace_back(message);
    return 0;
}

UINT Install(const std::wstring& package, const std::wstring& commandLine, InstallLog* log = nullptr)
{
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    InstallLog ignored;
    MsiSetExternalUIW(CollectMessages, INSTALLLOGMODE_INFO, log ? log : &ignored);
    UINT result = MsiInstallProductW(package.c_str(), commandLine.c_str());
    MsiSetExternalUIW(nullptr, 0, nullptr);
    return result;
}

void RemoveProduct()
{
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MsiConfigureProductW(kProductCode, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
}

std::wstring FileVersion(const std::wstring& path)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, data.data())
        || !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length))
        return L"(none)";
    return std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionMS))
         + L"." + std::to_wstring(HIWORD(info->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(info->dwFileVersionLS));
}

bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds = 20000)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        Sleep(50);
    }
    return true;
}

bool SemaphoreExists()
{
    kelm::UniqueHandle semaphore(OpenSemaphoreW(SYNCHRONIZE, FALSE, kInstanceSemaphore));
    return static_cast<bool>(semaphore);
}

struct Process {
    kelm::UniqueHandle process;
    DWORD exitCode = STILL_ACTIVE;
};

Process Start(const std::wstring& commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring mutableLine = commandLine;
    Process started;
    if (CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        started.process.Reset(info.hProcess);
    }
    return started;
}

DWORD WaitExit(Process& process, DWORD milliseconds = 20000)
{
    if (!process.process || WaitForSingleObject(process.process.Get(), milliseconds) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    GetExitCodeProcess(process.process.Get(), &process.exitCode);
    return process.exitCode;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

class DemoProductPackages : public ::testing::Test {
protected:
    void SetUp() override { RemoveProduct(); }
    void TearDown() override { RemoveProduct(); }
};

TEST_F(DemoProductPackages, FirstReleaseInstallsWhereAskedAndTellsItsHomePage)
{
    const std::wstring folder = TestFolder();
    InstallLog log;
    ASSERT_EQ(Install(ReleasePackage(L"8.0.1.0"), L"INSTALLDIR=" + Quoted(folder), &log), 0u);

    EXPECT_EQ(ProductInfo(L"VersionString"), L"8.0.1.0");
    EXPECT_EQ(ProductInfo(L"InstalledProductName"), kProductName);
    EXPECT_EQ(ProductInfo(L"InstallLocation"), folder + L"\\");
    wchar_t related[39] = {};
    ASSERT_EQ(MsiEnumRelatedProductsW(kUpgradeCode, 0, 0, related), 0u);
    EXPECT_STREQ(related, kProductCode);

    bool homePageLine = false;
    for (const auto& line : log.lines)
        homePageLine |= line.find(L"InstallHomepageURL = http://127.0.0.1:8470/zunder/welcome.html") != std::wstring::npos;
    EXPECT_TRUE(homePageLine) << "no information message with the InstallHomepageURL property";
    EXPECT_EQ(FileVersion(folder + L"\\" + kExeName), L"8.0.1.0");
}

TEST_F(DemoProductPackages, SecondReleaseReplacesTheFirstByReinstallation)
{
    const std::wstring folder = TestFolder();
    ASSERT_EQ(Install(ReleasePackage(L"8.0.1.0"), L"INSTALLDIR=" + Quoted(folder)), 0u);
    // The command line the installer client uses for an installed product.
    ASSERT_EQ(Install(ReleasePackage(L"8.1.0.0"), L"REINSTALL=ALL REINSTALLMODE=vomus REBOOT=ReallySuppress"), 0u);

    EXPECT_EQ(ProductInfo(L"VersionString"), L"8.1.0.0");
    EXPECT_EQ(ProductInfo(L"InstallLocation"), folder + L"\\");
    EXPECT_EQ(FileVersion(folder + L"\\" + kExeName), L"8.1.0.0");
}

TEST_F(DemoProductPackages, ProgramHoldsTheInstanceSemaphoreWhileItRuns)
{
    const std::wstring folder = TestFolder();
    ASSERT_EQ(Install(ReleasePackage(L"8.0.1.0"), L"INSTALLDIR=" + Quoted(folder)), 0u);
    const std::wstring program = Quoted(folder + L"\\" + kExeName);
    ASSERT_FALSE(SemaphoreExists());

    Process first = Start(program);
    ASSERT_TRUE(first.process);
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = FindWindowW(kEditorClass, nullptr)) != nullptr; }));
    EXPECT_TRUE(SemaphoreExists());
    wchar_t title[128] = {};
    SendMessageW(window, WM_GETTEXT, std::size(title), reinterpret_cast<LPARAM>(title));
    EXPECT_STREQ(title, kProductName);

    Process second = Start(program);  // a second copy hands over to the first and ends
    EXPECT_EQ(WaitExit(second), 0u);
    EXPECT_EQ(FindWindowW(kEditorClass, nullptr), window);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitExit(first), 0u);
    EXPECT_FALSE(SemaphoreExists());
}

DWORD RuntimeRunCount()
{
    kelm::UniqueRegKey key;
    DWORD count = 0;
    DWORD size = sizeof(count);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRuntimeKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS
        || RegQueryValueExW(key.Get(), L"RunCount", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size)
               != ERROR_SUCCESS)
        return 0;
    return count;
}

std::wstring RuntimeCommandLine()
{
    kelm::UniqueRegKey key;
    wchar_t text[512] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRuntimeKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS
        || RegQueryValueExW(key.Get(), L"CommandLine", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size)
               != ERROR_SUCCESS)
        return L"";
    return text;
}

HWND FindBox(const wchar_t* caption)
{
    HWND box = nullptr;
    WaitFor([&] { return (box = FindWindowW(L"#32770", caption)) != nullptr && IsWindowVisible(box); });
    return box;
}

TEST(DemoPrerequisite, QuietRunRecordsItselfWithoutAWindow)
{
    const DWORD before = RuntimeRunCount();
    // The installation runs a dependency as "<quoted path> <install_commandline>".
    Process setup = Start(Quoted(BuildPath(L"demo\\zunder_runtime_setup.exe")) + L" /quiet /norestart");
    ASSERT_TRUE(setup.process);
    EXPECT_EQ(WaitExit(setup), 0u);
    EXPECT_EQ(RuntimeRunCount(), before + 1);
    EXPECT_NE(RuntimeCommandLine().find(L"/quiet /norestart"), std::wstring::npos);
}

TEST(DemoPrerequisite, InteractiveRunAsksAndRecordsNothingWhenDeclined)
{
    const DWORD before = RuntimeRunCount();
    Process setup = Start(BuildPath(L"demo\\zunder_runtime_setup.exe"));
    ASSERT_TRUE(setup.process);
    HWND box = FindBox(L"Zunder Runtime 8");
    ASSERT_NE(box, nullptr) << "the interactive run did not ask";
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(WaitExit(setup), 1602u);
    EXPECT_EQ(RuntimeRunCount(), before);
}

} // namespace
