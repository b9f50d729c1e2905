// Real packages: .msi files made with wixl installed by Wine's Windows
// Installer through the engine's handler, and EXE installers started and waited for.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <atomic>
#include <thread>

#include "engine/exe_package.h"
#include "engine/install_engine.h"
#include "engine/install_status.h"
#include "engine/msi_package.h"
#include "engine_test_support.h"
#include "support/loopback_server.h"
#include "support/msi_products.h"
#include "driving/process_windows.h"
#include "support/registry_cleanup.h"

namespace kelm {
namespace {

// Removes the product (the engine's handler detached first: its engine is gone) and checks it is gone.
void ExpectRemoved(const wchar_t* productCode)
{
    EXPECT_EQ(0u, test::RemoveProduct(productCode));
    EXPECT_FALSE(test::IsProductInstalled(productCode));
}

// The file held as the engine holds an admitted package (the admission rules
// are the trust tests' and the end-to-end tests').
TrustedFile Held(const std::wstring& path)
{
    return AdmitPackage(OpenHeldForReading(path), path, {PackageOrigin::BesideInstaller, false, L""}).file;
}

InstallPackage Package(const wchar_t* fileName)
{
    InstallPackage package;
    package.name = fileName;
    package.localPath = test::TestPackage(fileName);
    return package;
}

// Watches g_installStatus while a package installs and remembers whether the percent ever went down.
class PercentWatcher {
public:
    PercentWatcher()
        : m_thread([this] {
              int last = 0;
              while (!m_stop) {
                  InstallStatus status = ReadInstallStatus();
                  if (status.phase == PhaseInstalling) {
                      if (status.percent < last)
                          m_wentDown = true;
                      last = status.percent;
                      m_highest = last;
                  }
                  ::Sleep(1);
              }
          })
    {
    }
    ~PercentWatcher() { Stop(); }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    bool WentDown() const { return m_wentDown; }
    int Highest() const { return m_highest; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_wentDown{false};
    std::atomic<int> m_highest{0};
    std::thread m_thread;
};

class MsiPackageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetInstallStatus();
        ExpectRemoved(test::kProductCode);
    }
    void TearDown() override
    {
        ExpectRemoved(test::kProductCode);
        ExpectRemoved(test::kFailingProductCode);
        ResetInstallStatus();
    }
};

TEST_F(MsiPackageTest, ProductInstallsIntoTheFolderAndReportsItsHomePage)
{
    test::TempFolder folder(L"Kelm Engine Product");
    const std::wstring commandLine = MakeMsiCommandLine(false, false, folder.Path());
    ASSERT_EQ(L"INSTALLDIR=\"" + folder.Path().substr(0, folder.Path().size() - 1) + L"\"", commandLine);

    CInstallEngine engine;
    test::MessageBoxAnswerer answerer(IDOK);
    PercentWatcher watcher;
    const UINT rc = InstallMsiFile(engine, Package(L"product.msi"), Held(test::TestPackage(L"product.msi")), commandLine, nullptr, L"Zunder");
    watcher.Stop();

    EXPECT_EQ(0u, rc);
    EXPECT_TRUE(IsMsiSuccess(rc));
    EXPECT_TRUE(test::IsProductInstalled(test::kProductCode));
    EXPECT_TRUE(::PathFileExistsW((folder.Path() + L"ZunderTest.exe").c_str()));
    EXPECT_EQ(L"Pro",
              test::ReadRegistryString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KelmwareEngineTest\\Product", L"Edition"));
    EXPECT_EQ(test::kProductHomePage, engine.HomePageUrl());
    EXPECT_FALSE(watcher.WentDown());
    EXPECT_GT(engine.Msi().MaxPercent(), 0);
    EXPECT_LE(engine.Msi().MaxPercent(), 100);
    EXPECT_EQ(0u, answerer.Count());

    // Installed already: the reinstall command line repairs it in place.
    CInstallEngine again;
    const UINT reinstall = InstallMsiFile(again, Package(L"product.msi"), Held(test::TestPackage(L"product.msi")), MakeMsiCommandLine(true, false, L""),
                                          nullptr, L"Zunder");
    EXPECT_TRUE(IsMsiSuccess(reinstall)) << reinstall;
    EXPECT_TRUE(test::IsProductInstalled(test::kProductCode));
}

TEST_F(MsiPackageTest, PackageWithAFalseLaunchConditionFails)
{
    CInstallEngine engine;
    test::MessageBoxAnswerer answerer(IDOK);
    test::DebugOutputRecorder debugOutput;
    ASSERT_TRUE(debugOutput.IsListening());
    const UINT rc = InstallMsiFile(engine, Package(L"failing.msi"), Held(test::TestPackage(L"failing.msi")), L"", nullptr, L"Zunder");
    EXPECT_EQ(static_cast<UINT>(ERROR_INSTALL_FAILURE), rc);
    // Every installer message goes to the debugger output, then the failure code.
    ASSERT_TRUE(test::WaitUntil([&] { return debugOutput.Text().find("Error Code") != std::string::npos; }, 5000));
    const std::string lines = debugOutput.Text();
    EXPECT_NE(std::string::npos, lines.find("\r\n Action start ")) << lines;
    const std::string failure = "VORP_DEBUG: MSI Installation failed. Error Code: 1603\r\n";
    ASSERT_GE(lines.size(), failure.size());
    EXPECT_EQ(failure, lines.substr(lines.size() - failure.size()));
    EXPECT_FALSE(IsMsiSuccess(rc));
    EXPECT_FALSE(test::IsProductInstalled(test::kFailingProductCode));
    EXPECT_TRUE(engine.Outcome().message.empty()); // the Windows Installer has told the user itself
}

bool RunningUnderWine()
{
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST_F(MsiPackageTest, CancelledEngineAnswersCancelToTheInstallersProgress)
{
    test::TempFolder folder(L"Kelm Engine Cancelled");
    CInstallEngine engine;
    engine.Cancel();
    const UINT rc = InstallMsiFile(engine, Package(L"product.msi"), Held(test::TestPackage(L"product.msi")), MakeMsiCommandLine(false, false, folder.Path()),
                                   nullptr, L"Zunder");
    if (RunningUnderWine()) {
        // Wine's Windows Installer ignores the handler's answers to progress
        // messages: the installation runs to its end.
        EXPECT_EQ(0u, rc);
    } else {
        EXPECT_EQ(static_cast<UINT>(ERROR_INSTALL_USEREXIT), rc);
        EXPECT_FALSE(IsMsiSuccess(rc));
        EXPECT_FALSE(test::IsProductInstalled(test::kProductCode));
    }
    // The installer's progress reached the handler during the installation, which
    // answers Cancel from the first message of a package cancelled before it; and
    // no progress was reported over the cancellation.
    EXPECT_GT(engine.Msi().ProgressMessageCount(), 0) << "no progress message reached the handler";
    EXPECT_EQ(IDCANCEL, engine.Msi().ParseProgressMessage(L"1: 2 2: 0"));
    EXPECT_EQ(PhaseCancelling, ReadInstallStatus().phase);
}

TEST(MsiResultTest, RestartRequiredCountsAsSuccess)
{
    EXPECT_TRUE(IsMsiSuccess(ERROR_SUCCESS));
    EXPECT_TRUE(IsMsiSuccess(ERROR_SUCCESS_REBOOT_REQUIRED));
    EXPECT_FALSE(IsMsiSuccess(ERROR_INSTALL_USEREXIT));
    EXPECT_FALSE(IsMsiSuccess(ERROR_INSTALL_FAILURE));
}

TEST(ExePackageTest, ProgramInAFolderWithSpacesRunsWithItsArgumentsAndIsWaitedFor)
{
    // "<temp>\Kelm Exe Test_<pid>\Setup Folder\dep setup.exe", with a decoy where an
    // unquoted path would end at the first space.
    test::TempFolder outer(L"Kelm Exe Test");
    const std::wstring inner = outer.Path() + L"Setup Folder\\";
    ASSERT_TRUE(::CreateDirectoryW(inner.c_str(), nullptr));
    const std::wstring recorder = test::TestBinaryFolder() + L"record_args.exe";
    const std::wstring program = inner + L"dep setup.exe";
    const std::wstring decoy = outer.Path() + L"Setup.exe";
    ASSERT_TRUE(test::CopyTestFile(recorder, program));
    ASSERT_TRUE(test::CopyTestFile(recorder, decoy));

    InstallPackage package;
    package.name = L"dep setup.exe";
    package.localPath = program;
    package.commandLine = L"/q /norestart /sleep=700 /exit=3010";
    const ULONGLONG start = ::GetTickCount64();
    const ExeRunResult result = RunExePackage(package, Held(package.localPath), nullptr);
    const ULONGLONG waited = ::GetTickCount64() - start;
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3010u) << "the installer's exit code is reported";

    EXPECT_GE(waited, 700u);
    const std::wstring expected = std::to_wstring(::GetCurrentProcessId()) + L"|\"" + program + L"\" " +
                                  package.commandLine + L"\n";
    EXPECT_EQ(expected, test::ReadTextFile(program + L".log"));
    EXPECT_EQ(L"", test::ReadTextFile(decoy + L".log"));
    // It ran in the system folder, not in the folder it lies in (where others may put DLLs).
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::string current = test::ReadWholeFile(program + L".cwd");
    EXPECT_EQ(std::wstring(system), std::wstring(reinterpret_cast<const wchar_t*>(current.data()),
                                                 current.size() / sizeof(wchar_t)));

    for (const std::wstring& file : {program, program + L".log", program + L".cwd", decoy})
        ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW(inner.c_str());
}

TEST(ExePackageTest, MissingProgramIsReportedAsNotStarted)
{
    InstallPackage package;
    package.localPath = test::TestBinaryFolder() + L"no such setup.exe";
    package.commandLine = L"/q";
    EXPECT_FALSE(RunExePackage(package, Held(package.localPath), nullptr).started);
}

} // namespace
} // namespace kelm
