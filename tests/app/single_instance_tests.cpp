// Two copies of the real installer started one after the other: the second
// ends at once and the first copy's minimised main window comes back.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/single_instance.h"
#include "app/window_class.h"
#include "framework/handles.h"

using namespace kelm;

namespace {

std::wstring InstallerPath()
{
    // build/tests/app/<this>.exe -> build/app/KelmWebInstaller.exe
    wchar_t path[MAX_PATH]{};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    folder.erase(folder.find_last_of(L'\\'));
    for (int up = 0; up < 2; ++up)
        folder.erase(folder.find_last_of(L'\\'));
    return folder + L"\\app\\KelmWebInstaller.exe";
}

struct StartedProcess {
    UniqueHandle process;
    DWORD id = 0;
};

StartedProcess StartInstaller(const std::wstring& arguments)
{
    std::wstring exe = InstallerPath();
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    StartedProcess started;
    if (::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                         &info)) {
        ::CloseHandle(info.hThread);
        started.process.Reset(info.hProcess);
        started.id = info.dwProcessId;
    }
    return started;
}

// Polls `condition` every 50 ms for up to `milliseconds`.
template <typename Condition>
bool WaitFor(Condition condition, DWORD milliseconds)
{
    for (DWORD waited = 0;; waited += 50) {
        if (condition())
            return true;
        if (waited >= milliseconds)
            return false;
        ::Sleep(50);
    }
}

HWND MainWindowOf(DWORD processId)
{
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            wchar_t className[64]{};
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId && ::GetClassNameW(window, className, 64) &&
                lstrcmpW(className, kInstallerWindowClass) == 0) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A message box of the process (a top-level dialog with the message text static 0xFFFF), or null.
HWND ConfirmationBoxOf(DWORD processId)
{
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId && ::IsWindowVisible(window) && ::GetDlgItem(window, 0xFFFF) != nullptr) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

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

// Ends a copy that a failed assertion left running.
struct ProcessReaper {
    StartedProcess& copy;
    ~ProcessReaper()
    {
        if (copy.process && ::WaitForSingleObject(copy.process.Get(), 0) == WAIT_TIMEOUT)
            ::TerminateProcess(copy.process.Get(), 99);
    }
};

TEST(SingleInstance, TheSecondCopyEndsAtOnceAndRestoresTheFirstCopysWindow)
{
    ASSERT_EQ(::FindWindowW(kInstallerWindowClass, nullptr), nullptr) << "an installer is already running";

    StartedProcess first = StartInstaller(L"/n");
    ASSERT_TRUE(first.process) << "cannot start " << ::GetLastError();
    ProcessReaper reapFirst{first};

    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = MainWindowOf(first.id)) != nullptr && ::IsWindowVisible(window); },
                        20000))
        << "the first copy shows no main window";
    ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return ::IsIconic(window) != FALSE; }, 5000));

    DWORD startTick = ::GetTickCount();
    StartedProcess second = StartInstaller(L"/n");
    ASSERT_TRUE(second.process);
    ProcessReaper reapSecond{second};
    ASSERT_EQ(::WaitForSingleObject(second.process.Get(), 20000), WAIT_OBJECT_0) << "the second copy keeps running";
    DWORD secondRunMilliseconds = ::GetTickCount() - startTick;
    DWORD exitCode = 1;
    ::GetExitCodeProcess(second.process.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
    std::printf("second copy ran %lu ms\n", secondRunMilliseconds);

    EXPECT_TRUE(WaitFor([&] { return ::IsIconic(window) == FALSE && ::IsWindowVisible(window); }, 5000))
        << "the first copy's window stays minimised";
    EXPECT_EQ(::GetForegroundWindow(), window);
    EXPECT_EQ(CountInstallerWindows(), 1);
    EXPECT_EQ(::WaitForSingleObject(first.process.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // Closing the main window ends the first copy normally, once the user confirms
    // the settings page's question.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    WaitFor(
        [&] {
            if (HWND box = ConfirmationBoxOf(first.id))
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(box, IDYES)));
            return ::WaitForSingleObject(first.process.Get(), 0) == WAIT_OBJECT_0;
        },
        20000);
    ASSERT_EQ(::WaitForSingleObject(first.process.Get(), 0), WAIT_OBJECT_0);
    ::GetExitCodeProcess(first.process.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);

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

    StartedProcess copy = StartInstaller(L"/n");
    ASSERT_TRUE(copy.process);
    ProcessReaper reap{copy};
    ASSERT_EQ(::WaitForSingleObject(copy.process.Get(), 20000), WAIT_OBJECT_0);
    EXPECT_EQ(CountInstallerWindows(), 0);
    EXPECT_FALSE(ActivateFirstCopy());
}

} // namespace
