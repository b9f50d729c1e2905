// Starting a program through the desktop shell's automation objects.
#include <windows.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <set>

#include "config/shell_launch.h"
#include "engine_test_support.h"
#include "driving/process_windows.h"

namespace kelm {
namespace {

std::wstring ProcessName(DWORD processId)
{
    UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == processId)
            return entry.szExeFile;
    }
    return {};
}

TEST(ShellLaunchTest, ProgramInAFolderWithSpacesIsStartedByTheDesktopShell)
{
    test::TempFolder folder(L"Kelm Shell Launch");
    const std::wstring program = folder.Path() + L"Zunder Pro.exe";
    ASSERT_TRUE(test::CopyTestFile(test::TestBinaryFolder() + L"record_args.exe", program));

    {
        ComInitialization com;
        ASSERT_TRUE(com.Succeeded());
        LaunchUnelevated(program);
    }
    const std::wstring log = program + L".log";
    ASSERT_TRUE(test::WaitUntil([&] { return !test::ReadTextFile(log).empty(); }, 10000))
        << "the shell did not start the program";
    const std::wstring record = test::ReadTextFile(log);
    const DWORD parent = std::wcstoul(record.c_str(), nullptr, 10);
    const std::wstring commandLine = record.substr(record.find(L'|') + 1);

    // The program was not started as a child of this (elevated) process but by the
    // shell. Wine runs every process with the same token, so the difference in
    // rights itself cannot be observed here; the parent can.
    EXPECT_NE(::GetCurrentProcessId(), parent);
    std::wstring parentName = ProcessName(parent);
    CharLowerW(parentName.data());
    EXPECT_EQ(L"explorer.exe", parentName);
    // One path, no arguments.
    EXPECT_NE(std::wstring::npos, commandLine.find(L"Zunder Pro.exe")) << commandLine;
    EXPECT_EQ(std::wstring::npos, commandLine.find(L"/")) << commandLine;
    ::Sleep(200);
    ::DeleteFileW(log.c_str());
    ::DeleteFileW(program.c_str());
}

// Every visible top-level window of every process.
std::set<HWND> VisibleWindows()
{
    std::set<HWND> windows;
    ::EnumWindows(
        [](HWND window, LPARAM found) -> BOOL {
            if (::IsWindowVisible(window))
                reinterpret_cast<std::set<HWND>*>(found)->insert(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

TEST(ShellLaunchTest, MissingProgramStartsNothingAndReportsNothing)
{
    const std::set<HWND> before = VisibleWindows();
    {
        ComInitialization com;
        ASSERT_TRUE(com.Succeeded());
        LaunchUnelevated(test::TestBinaryFolder() + L"no such program.exe");
    }
    // A report would be a box of this process or of the shell's.
    ::Sleep(1500);
    for (HWND window : VisibleWindows()) {
        EXPECT_TRUE(before.count(window) == 1)
            << "a window appeared: " << ::testing::PrintToString(test::ClassName(window) + L" \"" +
                                                                  test::WindowText(window) + L"\"");
    }
}

} // namespace
} // namespace kelm
