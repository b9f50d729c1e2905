// Drives the installer's wizard from outside, as a user would: finds its windows
// under the same wineserver (or desktop session), reads their texts, presses
// their buttons and answers message boxes (with the tests' window finders,
// tests/driving). One command per run, so that a script can take a screenshot
// between the steps.
//
//   zunder_driver wait-page <check|settings|status|update-status|success|product> [seconds]
//       waits until the page is visible; prints "<page> x y width height".
//       "update-status" fails when the settings page shows up instead; "check"
//       gives up (exit code 3) when the wizard is up before the check dialog was seen.
//   zunder_driver press <install|start-now>
//   zunder_driver wait-progress [seconds]   status page shows a percentage above 0
//   zunder_driver status-texts              prints the status page's three texts
//   zunder_driver answer-box <ok|cancel|yes|no|retry>
//   zunder_driver close-product [seconds]    closes the product and waits until it has ended
//   zunder_driver wait-product-end [seconds]
//   zunder_driver wait-exit [seconds]       the installer has ended
//   zunder_driver watch-hidden [seconds]    a silent run: no window of the installer is ever visible
//
// Exit codes: 0 done; 1 timeout or failure; 2 a message box stands in the way
// (its caption and text are printed as "box: <caption>: <text>"); 3 not seen.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "driving/wizard_windows.h"
#include "framework/handles.h"
#include "res/resource.h"

namespace {

using namespace kelm::test;

constexpr wchar_t kInstallerSemaphore[] = L"MirelleZunderInstaller_80";
constexpr wchar_t kProductSemaphore[] = L"MirelleZunderInstance_80";
constexpr wchar_t kInstallerExe[] = L"KelmWebInstaller.exe";
constexpr wchar_t kProductClass[] = L"ZunderDemoEditorWindow";

constexpr DWORD kPollMilliseconds = 50;

enum ExitCode { kDone = 0, kFailed = 1, kBlockedByBox = 2, kNotSeen = 3 };

bool SemaphoreExists(const wchar_t* name)
{
    kelm::UniqueHandle semaphore(OpenSemaphoreW(SYNCHRONIZE, FALSE, name));
    return static_cast<bool>(semaphore);
}

// Every installer process counts: a run may hand over to a newer client.
std::vector<DWORD> InstallerProcesses() { return ProcessesOfProgram(kInstallerExe); }

// The first window `find` gives for one of the installer processes, when shown.
template <typename Find>
HWND ShownInAnInstaller(Find find)
{
    for (DWORD process : InstallerProcesses()) {
        if (HWND window = find(process); IsShown(window))
            return window;
    }
    return nullptr;
}

HWND ShownMessageBox() { return ShownInAnInstaller([](DWORD process) { return FindMessageBox(process); }); }

int ReportMessageBox(HWND box)
{
    std::wstring text = MessageBoxText(box);
    for (auto& c : text) {
        if (c == L'\r' || c == L'\n')
            c = L' ';
    }
    wprintf(L"box: %ls: %ls\n", WindowText(box).c_str(), text.c_str());
    return kBlockedByBox;
}

HWND VisibleWizard() { return ShownInAnInstaller([](DWORD process) { return FindWizard(process); }); }

// The shown panel of the wizard that holds both dialog items.
HWND ShownPanelWith(int itemId, int secondItemId)
{
    HWND wizard = VisibleWizard();
    HWND panel = wizard ? FindVisiblePanelWith(wizard, itemId) : nullptr;
    return panel && GetDlgItem(panel, secondItemId) ? panel : nullptr;
}

HWND SettingsPanel() { return ShownPanelWith(IDC_INSTALL_BUTTON, IDC_ACCEPT_CHECK); }
HWND StatusPanel() { return ShownPanelWith(IDC_PERCENT_LABEL, IDC_STATUS_LABEL); }
HWND SuccessPanel() { return ShownPanelWith(IDC_START_NOW, IDC_LAUNCH_LABEL); }

HWND CheckDialog() { return ShownInAnInstaller([](DWORD process) { return FindCheckDialog(process); }); }

HWND ProductWindow()
{
    HWND window = FindWindowW(kProductClass, nullptr);
    return IsShown(window) ? window : nullptr;
}

HWND FindPage(const std::wstring& page)
{
    if (page == L"check")
        return CheckDialog();
    if (page == L"product")
        return ProductWindow();
    HWND panel = page == L"settings" ? SettingsPanel()
               : page == L"status" || page == L"update-status" ? StatusPanel()
               : page == L"success"  ? SuccessPanel()
                                     : nullptr;
    return panel ? GetAncestor(panel, GA_ROOT) : nullptr;
}

void PrintRect(const std::wstring& label, HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    wprintf(L"%ls %ld %ld %ld %ld\n", label.c_str(), rect.left, rect.top, rect.right - rect.left,
            rect.bottom - rect.top);
}

DWORD Deadline(int seconds) { return GetTickCount() + static_cast<DWORD>(seconds) * 1000; }
bool Expired(DWORD deadline) { return static_cast<LONG>(GetTickCount() - deadline) >= 0; }

int WaitPage(const std::wstring& page, int seconds)
{
    const DWORD deadline = Deadline(seconds);
    const DWORD poll = page == L"check" ? 10 : kPollMilliseconds;  // the check dialog may be up briefly
    for (;;) {
        if (HWND window = FindPage(page)) {
            PrintRect(page, window);
            return kDone;
        }
        if (HWND box = ShownMessageBox())
            return ReportMessageBox(box);
        if (page == L"check" && VisibleWizard()) {
            wprintf(L"check: not seen, the wizard is up\n");
            return kNotSeen;
        }
        if (page == L"update-status" && SettingsPanel()) {
            wprintf(L"the settings page is shown, but an installed product is updated without it\n");
            return kFailed;
        }
        if (Expired(deadline)) {
            wprintf(L"timeout: no %ls page after %d s\n", page.c_str(), seconds);
            return kFailed;
        }
        Sleep(poll);
    }
}

// Waits until the settings page has gone (the wizard moved on); false when it is
// still there after the time given.
bool SettingsPageLeft(DWORD milliseconds)
{
    const DWORD deadline = GetTickCount() + milliseconds;
    while (SettingsPanel()) {
        if (Expired(deadline) || ShownMessageBox())
            return false;
        Sleep(kPollMilliseconds);
    }
    return true;
}

int PressInstall()
{
    HWND panel = SettingsPanel();
    if (!panel) {
        wprintf(L"no settings page\n");
        return kFailed;
    }
    HWND install = GetDlgItem(panel, IDC_INSTALL_BUTTON);
    if (!IsWindowEnabled(install)) {
        // Users in some regions must tick the licence box first.
        wprintf(L"accepting the licence terms\n");
        ClickItem(panel, IDC_ACCEPT_CHECK);
        const DWORD deadline = Deadline(10);
        while (!IsWindowEnabled(install)) {
            if (Expired(deadline)) {
                wprintf(L"the Install button stays disabled\n");
                return kFailed;
            }
            Sleep(kPollMilliseconds);
        }
    }
    ClickItem(panel, IDC_INSTALL_BUTTON);
    wprintf(L"pressed Install\n");
    if (SettingsPageLeft(5000))
        return kDone;
    if (HWND box = ShownMessageBox())
        return ReportMessageBox(box);
    // An Install button drawn as enabled while the terms count as not accepted
    // ignores the press: accept them and press again.
    wprintf(L"the settings page stays; accepting the licence terms and pressing Install again\n");
    ClickItem(panel, IDC_ACCEPT_CHECK);
    Sleep(500);
    ClickItem(panel, IDC_INSTALL_BUTTON);
    if (SettingsPageLeft(10000))
        return kDone;
    if (HWND box = ShownMessageBox())
        return ReportMessageBox(box);
    wprintf(L"the settings page does not move on\n");
    return kFailed;
}

int PressStartNow()
{
    HWND panel = SuccessPanel();
    if (!panel) {
        wprintf(L"no success page\n");
        return kFailed;
    }
    ClickItem(panel, IDC_START_NOW);
    wprintf(L"pressed Start Now\n");
    return kDone;
}

std::wstring StatusLine(HWND panel)
{
    return WindowText(GetDlgItem(panel, IDC_STATUS_LABEL)) + L" | " + WindowText(GetDlgItem(panel, IDC_TIME_LABEL)) +
           L" | " + WindowText(GetDlgItem(panel, IDC_PERCENT_LABEL));
}

int StatusTexts(HWND panel)
{
    wprintf(L"status: %ls\n", StatusLine(panel).c_str());
    return kDone;
}

int WaitProgress(int seconds)
{
    const DWORD deadline = Deadline(seconds);
    std::wstring lastSeen;  // a quick run may end between two looks
    for (;;) {
        if (HWND panel = StatusPanel()) {
            double percent = _wtof(WindowText(GetDlgItem(panel, IDC_PERCENT_LABEL)).c_str());
            if (percent > 0.0)
                return StatusTexts(panel);
            lastSeen = StatusLine(panel);
        } else if (SuccessPanel()) {
            wprintf(L"the installation ended before any progress was seen\n");
            if (!lastSeen.empty())
                wprintf(L"status: %ls\n", lastSeen.c_str());
            return kDone;
        }
        if (HWND box = ShownMessageBox())
            return ReportMessageBox(box);
        if (Expired(deadline)) {
            wprintf(L"timeout: no progress after %d s\n", seconds);
            return kFailed;
        }
        Sleep(kPollMilliseconds);
    }
}

int AnswerBox(const std::wstring& answer)
{
    int id = answer == L"ok" ? IDOK : answer == L"cancel" ? IDCANCEL : answer == L"yes" ? IDYES
           : answer == L"no" ? IDNO : answer == L"retry" ? IDRETRY : 0;
    HWND box = ShownMessageBox();
    if (!box || id == 0) {
        wprintf(L"no message box to answer\n");
        return kFailed;
    }
    ReportMessageBox(box);
    AnswerMessageBox(box, id);
    return kDone;
}

// Closes the product's window (when asked to) and waits until the product has ended.
int WaitProductEnd(bool close, int seconds)
{
    if (HWND window = FindWindowW(kProductClass, nullptr); window && close)
        PostMessageW(window, WM_CLOSE, 0, 0);
    const DWORD deadline = Deadline(seconds);
    while (SemaphoreExists(kProductSemaphore)) {
        if (Expired(deadline)) {
            wprintf(L"the product is still running after %d s\n", seconds);
            return kFailed;
        }
        Sleep(kPollMilliseconds);
    }
    wprintf(L"product ended\n");
    return kDone;
}

int WaitExit(int seconds)
{
    const DWORD deadline = Deadline(seconds);
    while (SemaphoreExists(kInstallerSemaphore)) {
        if (HWND box = ShownMessageBox())
            return ReportMessageBox(box);
        if (Expired(deadline)) {
            wprintf(L"the installer is still running after %d s\n", seconds);
            return kFailed;
        }
        Sleep(kPollMilliseconds);
    }
    wprintf(L"installer ended\n");
    return kDone;
}

// Watches a silent run from its start to its end and reports every window of the
// installer's processes that was visible at all (a zero-size one too) or took the
// keyboard.
int WatchHidden(int seconds)
{
    const DWORD deadline = Deadline(seconds);
    while (!SemaphoreExists(kInstallerSemaphore)) {
        if (Expired(deadline)) {
            wprintf(L"the installer did not start within %d s\n", seconds);
            return kFailed;
        }
        Sleep(kPollMilliseconds);
    }
    std::set<HWND> created;
    bool anyShown = false;
    while (SemaphoreExists(kInstallerSemaphore)) {
        for (DWORD process : InstallerProcesses()) {
            for (HWND window : TopLevelWindows(process))
                created.insert(window);
            if (HWND box = FindMessageBox(process))
                return ReportMessageBox(box);
            if (const std::string shown = VisibleOrActiveWindow(process); !shown.empty()) {
                wprintf(L"%hs\n", shown.c_str());
                anyShown = true;
            }
        }
        if (anyShown)
            return kFailed;
        if (Expired(deadline)) {
            wprintf(L"the installer is still running after %d s\n", seconds);
            return kFailed;
        }
        Sleep(kPollMilliseconds);
    }
    wprintf(L"silent run ended: %zu window(s) created, none visible\n", created.size());
    return kDone;
}

int Usage()
{
    wprintf(L"usage: zunder_driver wait-page <check|settings|status|update-status|success|product> [seconds]\n"
            L"       zunder_driver press <install|start-now>\n"
            L"       zunder_driver wait-progress [seconds] | status-texts\n"
            L"       zunder_driver answer-box <ok|cancel|yes|no|retry>\n"
            L"       zunder_driver close-product [seconds] | wait-product-end [seconds]\n"
            L"       zunder_driver wait-exit [seconds] | watch-hidden [seconds]\n");
    return kFailed;
}

} // namespace

int RunCommand(int argc, wchar_t** argv);

// The outcome is printed as the last line too: now and then the process's exit
// status is lost after the work is done (Wine's loader can fail its own teardown
// with exit code 127), and the run script then reads it from here.
int wmain(int argc, wchar_t** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    const int result = RunCommand(argc, argv);
    wprintf(L"result: %d\n", result);
    return result;
}

int RunCommand(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    const std::wstring command = argv[1];
    const std::wstring argument = argc > 2 ? argv[2] : L"";
    auto seconds = [&](int position, int fallback) {
        return argc > position ? _wtoi(argv[position]) : fallback;
    };

    if (command == L"wait-page" && !argument.empty())
        return WaitPage(argument, seconds(3, 120));
    if (command == L"press" && argument == L"install")
        return PressInstall();
    if (command == L"press" && argument == L"start-now")
        return PressStartNow();
    if (command == L"wait-progress")
        return WaitProgress(seconds(2, 300));
    if (command == L"status-texts") {
        HWND panel = StatusPanel();
        return panel ? StatusTexts(panel) : kFailed;
    }
    if (command == L"answer-box" && !argument.empty())
        return AnswerBox(argument);
    if (command == L"close-product")
        return WaitProductEnd(true, seconds(2, 30));
    if (command == L"wait-product-end")
        return WaitProductEnd(false, seconds(2, 86400));
    if (command == L"wait-exit")
        return WaitExit(seconds(2, 300));
    if (command == L"watch-hidden")
        return WatchHidden(seconds(2, 600));
    return Usage();
}
