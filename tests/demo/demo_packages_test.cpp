// The demo's packages against the real Windows Installer of the test prefix: the
// product's two releases (first installation, update by reinstallation, the
// properties the installer client relies on), the product program's instance
// semaphore, and the prerequisite installer's quiet and interactive runs.

#include <windows.h>
#include <msi.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "support/msi_products.h"
#include "driving/process_windows.h"
#include "support/test_paths.h"

namespace {

namespace test = kelm::test;

constexpr wchar_t kProductCode[] = L"{580D94DB-01C3-4959-9172-4F6E1569690A}";
constexpr wchar_t kUpgradeCode[] = L"{DBBD8404-4F73-4057-8D2D-2A1D73DAA88B}";
constexpr wchar_t kProductName[] = L"Zunder Pro Video Editor 8";
constexpr wchar_t kExeName[] = L"Zunder Pro Video Editor 8.exe";
constexpr wchar_t kInstanceSemaphore[] = L"MirelleZunderInstance_80";
constexpr wchar_t kEditorClass[] = L"ZunderDemoEditorWindow";
constexpr wchar_t kRuntimeKey[] = L"SOFTWARE\\Kelmware\\Zunder Runtime 8";

std::wstring ReleasePackage(const wchar_t* version)
{
    return test::BuildFolderPath(std::wstring(L"demo\\release-") + version + L"\\ZunderPro8.msi");
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

bool SemaphoreExists()
{
    kelm::UniqueHandle semaphore(OpenSemaphoreW(SYNCHRONIZE, FALSE, kInstanceSemaphore));
    return static_cast<bool>(semaphore);
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

class DemoProductPackages : public ::testing::Test {
protected:
    const test::ProductRemovalGuard m_product{kProductCode};
};

TEST_F(DemoProductPackages, FirstReleaseInstallsWhereAskedAndTellsItsHomePage)
{
    const std::wstring folder = TestFolder();
    std::vector<std::wstring> log;
    ASSERT_EQ(test::InstallPackage(ReleasePackage(L"8.0.1.0"), L"INSTALLDIR=" + Quoted(folder), &log), 0u);

    EXPECT_EQ(ProductInfo(L"VersionString"), L"8.0.1.0");
    EXPECT_EQ(ProductInfo(L"InstalledProductName"), kProductName);
    EXPECT_EQ(ProductInfo(L"InstallLocation"), folder + L"\\");
    wchar_t related[39] = {};
    ASSERT_EQ(MsiEnumRelatedProductsW(kUpgradeCode, 0, 0, related), 0u);
    EXPECT_STREQ(related, kProductCode);

    bool homePageLine = false;
    for (const auto& line : log)
        homePageLine |= line.find(L"InstallHomepageURL = http://127.0.0.1:8470/zunder/welcome.html") != std::wstring::npos;
    EXPECT_TRUE(homePageLine) << "no information message with the InstallHomepageURL property";
    EXPECT_EQ(FileVersion(folder + L"\\" + kExeName), L"8.0.1.0");
}

TEST_F(DemoProductPackages, SecondReleaseReplacesTheFirstByReinstallation)
{
    const std::wstring folder = TestFolder();
    ASSERT_EQ(test::InstallPackage(ReleasePackage(L"8.0.1.0"), L"INSTALLDIR=" + Quoted(folder)), 0u);
    // The command line the installer client uses for an installed product.
    ASSERT_EQ(test::InstallPackage(ReleasePackage(L"8.1.0.0"), L"REINSTALL=ALL REINSTALLMODE=vomus REBOOT=ReallySuppress"),
              0u);

    EXPECT_EQ(ProductInfo(L"VersionString"), L"8.1.0.0");
    EXPECT_EQ(ProductInfo(L"InstallLocation"), folder + L"\\");
    EXPECT_EQ(FileVersion(folder + L"\\" + kExeName), L"8.1.0.0");
}

TEST_F(DemoProductPackages, ProgramHoldsTheInstanceSemaphoreWhileItRuns)
{
    const std::wstring folder = TestFolder();
    ASSERT_EQ(test::InstallPackage(ReleasePackage(L"8.0.1.0"), L"INSTALLDIR=" + Quoted(folder)), 0u);
    const std::wstring program = folder + L"\\" + kExeName;
    ASSERT_FALSE(SemaphoreExists());

    test::ChildProcess first;
    ASSERT_TRUE(first.Start(program));
    HWND window = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return (window = FindWindowW(kEditorClass, nullptr)) != nullptr; }, 20000));
    EXPECT_TRUE(SemaphoreExists());
    wchar_t title[128] = {};
    SendMessageW(window, WM_GETTEXT, std::size(title), reinterpret_cast<LPARAM>(title));
    EXPECT_STREQ(title, kProductName);

    test::ChildProcess second;  // a second copy hands over to the first and ends
    ASSERT_TRUE(second.Start(program));
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_TRUE(second.WaitForExit(20000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(FindWindowW(kEditorClass, nullptr), window);

    PostMessageW(window, WM_CLOSE, 0, 0);
    exitCode = STILL_ACTIVE;
    EXPECT_TRUE(first.WaitForExit(20000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
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

TEST(DemoPrerequisite, QuietRunRecordsItselfWithoutAWindow)
{
    const DWORD before = RuntimeRunCount();
    // The installation runs a dependency as "<quoted path> <install_commandline>".
    test::ChildProcess setup;
    ASSERT_TRUE(setup.Start(test::BuildFolderPath(L"demo\\zunder_runtime_setup.exe"), L"/quiet /norestart"));
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_TRUE(setup.WaitForExit(20000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(RuntimeRunCount(), before + 1);
    EXPECT_NE(RuntimeCommandLine().find(L"/quiet /norestart"), std::wstring::npos);
}

TEST(DemoPrerequisite, InteractiveRunAsksAndRecordsNothingWhenDeclined)
{
    const DWORD before = RuntimeRunCount();
    test::ChildProcess setup;
    ASSERT_TRUE(setup.Start(test::BuildFolderPath(L"demo\\zunder_runtime_setup.exe")));
    HWND box = nullptr;
    ASSERT_TRUE(test::WaitUntil([&] { return (box = test::FindMessageBox(setup.Id())) != nullptr; }, 20000))
        << "the interactive run did not ask";
    EXPECT_EQ(test::WindowText(box), L"Zunder Runtime 8");
    test::AnswerMessageBox(box, IDCANCEL);
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_TRUE(setup.WaitForExit(20000, &exitCode));
    EXPECT_EQ(exitCode, 1602u);
    EXPECT_EQ(RuntimeRunCount(), before);
}

} // namespace
