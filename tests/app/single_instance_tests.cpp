// Two copies of the real installer started one after the other: the second
// ends at once and the first copy's minimised main window comes back.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/single_instance.h"
#include "app/window_class.h"
#include "runlog/run_outcome.h"
#include "driving/process_windows.h"
#include "support/test_paths.h"

using namespace kelm;

namespace {

int CountInstallerWindows()
{
    int count = 0;
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            wchar_t className[64]{};
            if (::GetClassNameW(window, className, 64) && lstrcmpW(className, kInstallerWindowClass) == 0)
                ++*reinterpret_cast<int*>(context);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(SingleInstance, TheSecondCopyEndsAtOnceAndRestoresTheFirstCopysWindow)
{
    ASSERT_EQ(::FindWindowW(kInstallerWindowClass, nullptr), nullptr) << "an installer is already running";

    test::ChildProcess first;
    ASSERT_TRUE(first.Start(test::BuiltInstallerPath(), L"/n")) << "cannot start " << ::GetLastError();

    HWND window = nullptr;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            return (window = test::FindWindowOfClass(first.Id(), kInstallerWindowClass)) != nullptr &&
                   ::IsWindowVisible(window);
        },
        20000))
        << "the first copy shows no main window";
    ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(test::WaitUntil([&] { return ::IsIconic(window) != FALSE; }, 5000));

    DWORD startTick = ::GetTickCount();
    test::ChildProcess second;
    ASSERT_TRUE(second.Start(test::BuiltInstallerPath(), L"/n"));
    DWORD exitCode = 1;
    ASSERT_TRUE(second.WaitForExit(20000, &exitCode)) << "the second copy keeps running";
    DWORD secondRunMilliseconds = ::GetTickCount() - startTick;
    EXPECT_EQ(exitCode, static_cast<DWORD>(ExitCode::SecondCopy));
    std::printf("second copy ran %lu ms\n", secondRunMilliseconds);

    EXPECT_TRUE(test::WaitUntil([&] { return ::IsIconic(window) == FALSE && ::IsWindowVisible(window); }, 5000))
        << "the first copy's window stays minimised";
    EXPECT_EQ(::GetForegroundWindow(), window);
    EXPECT_EQ(CountInstallerWindows(), 1);
    EXPECT_TRUE(first.IsRunning());

    // Closing the main window ends the first copy normally, once the user confirms
    // the settings page's question.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    test::WaitUntil(
        [&] {
            if (HWND box = test::FindMessageBox(first.Id()))
                test::AnswerMessageBox(box, IDYES);
            return !first.IsRunning();
        },
        20000);
    exitCode = 1;
    ASSERT_TRUE(first.WaitForExit(0, &exitCode));
    EXPECT_EQ(exitCode, static_cast<DWORD>(ExitCode::Cancelled)) << "the user cancelled before installing";

    // With the first copy gone, the semaphore is gone too: the next copy is a first copy.
    InstanceGuard guard = CreateInstanceGuard();
    EXPECT_TRUE(guard.semaphore);
    EXPECT_FALSE(guard.otherCopyRunning);
}

TEST(SingleInstance, ASecondCopyWithoutTheFirstCopysWindowJustEnds)
{
    // This process holds the semaphore and shows no installer window.
    InstanceGuard holder = CreateInstanceGuard();
    ASSERT_TRUE(holder.semaphore);
    ASSERT_FALSE(holder.otherCopyRunning);

    test::ChildProcess copy;
    ASSERT_TRUE(copy.Start(test::BuiltInstallerPath(), L"/n"));
    ASSERT_TRUE(copy.WaitForExit(20000));
    EXPECT_EQ(CountInstallerWindows(), 0);
    EXPECT_FALSE(ActivateFirstCopy());
}

} // namespace
