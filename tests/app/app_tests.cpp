// The application shell's parts, without starting the application: option
// scan, skin palette, the main window's class, and starting a newer client.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/new_client.h"
#include "app/skin_palette.h"
#include "app/window_class.h"
#include "runlog/run_log.h"
#include "framework/dialog.h"
#include "res/resource.h"

using namespace kelm;

namespace {

// ---- options --------------------------------------------------------------

struct OptionCase {
    std::vector<std::wstring> arguments; // after the program path
    int32_t silent;
    int32_t skipClientCheck;
    int32_t launchAfterInstall;
    std::wstring language;
};

TEST(CommandLine, OptionsAreExactWholeArgumentsAndValuesAreNotConsumed)
{
    const OptionCase cases[] = {
        {{}, 0, 0, 0, L""},
        {{L"/s"}, 1, 0, 0, L""},
        {{L"/n"}, 0, 1, 0, L""},
        {{L"/l"}, 0, 0, 1, L""},
        {{L"/s", L"/n"}, 1, 1, 0, L""},
        {{L"/n", L"/s"}, 1, 1, 0, L""},
        {{L"/S", L"/N", L"/L", L"/LANG", L"de"}, 0, 0, 0, L""}, // upper case is no option
        {{L"-s", L"s", L"/s ", L"/silent", L"/ls"}, 0, 0, 0, L""},
        {{L"/lang"}, 0, 0, 0, L""},                              // last argument: empty value
        {{L"/lang", L"de-DE"}, 0, 0, 0, L"de-DE"},
        {{L"/lang", L"\\de"}, 0, 0, 0, L""},                     // begins with a backslash
        {{L"/lang", L""}, 0, 0, 0, L""},
        {{L"/lang", L"/s"}, 1, 0, 0, L"/s"},                     // the value is an option too
        {{L"/lang", L"/lang", L"fr"}, 0, 0, 0, L"fr"},
        {{L"/lang", L"fr", L"/lang", L"it"}, 0, 0, 0, L"it"},
        {{L"/l", L"/lang", L"pl", L"/s", L"/n"}, 1, 1, 1, L"pl"},
    };
    for (const OptionCase& c : cases) {
        std::vector<std::wstring> arguments{L"C:\\Downloads\\KelmWebInstaller.exe"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        std::wstring shown;
        for (const std::wstring& a : c.arguments)
            shown += L"[" + a + L"]";
        SCOPED_TRACE(std::string(shown.begin(), shown.end()));

        CommandLineOptions options = ParseCommandLine(arguments);
        EXPECT_EQ(options.silent, c.silent);
        EXPECT_EQ(options.skipClientCheck, c.skipClientCheck);
        EXPECT_EQ(options.launchAfterInstall, c.launchAfterInstall);
        EXPECT_EQ(options.requestedLanguage, c.language);
    }
}

TEST(CommandLine, AProxyForThisRunIsPassedOnToANewerClientOfASilentRun)
{
    const struct {
        std::vector<std::wstring> arguments;
        std::wstring proxy;
        std::wstring newClientParameters;
    } cases[] = {
        {{}, L"", L"/n"},
        {{L"/proxy", L"proxy.corp:8080"}, L"proxy.corp:8080", L"/n"}, // an interactive newer client asks again
        {{L"/s", L"/proxy", L"proxy.corp:8080"}, L"proxy.corp:8080", L"/n /s /proxy \"proxy.corp:8080\""},
        {{L"/s", L"/proxy", L"direct", L"/log", L"C:\\l.txt"}, L"direct",
         L"/n /s /log \"C:\\l.txt\" /proxy \"direct\""},
        {{L"/proxy"}, L"", L"/n"},
        {{L"/s", L"/proxy", L"[::1]:3128"}, L"[::1]:3128", L"/n /s /proxy \"[::1]:3128\""},
        // Nothing that could break out of the newer client's quotes, nor an option, is taken.
        {{L"/s", L"/proxy", L"p:1\" /log \"C:\\x"}, L"", L"/n /s"},
        {{L"/s", L"/proxy", L"proxy corp"}, L"", L"/n /s"},
        {{L"/proxy", L"/s"}, L"", L"/n /s"},
        {{L"/s", L"/log", L"C:\\l.txt\" /proxy \"evil"}, L"", L"/n /s"}, // a log path that would break out
        {{L"/s", L"/log", L"\\\\server\\logs\\"}, L"", L"/n /s"},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> arguments{L"C:\\Downloads\\KelmWebInstaller.exe"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const CommandLineOptions options = ParseCommandLine(arguments);
        EXPECT_EQ(options.proxy, c.proxy);
        EXPECT_EQ(NewClientParameters(options), c.newClientParameters);
    }
}

// ---- palette --------------------------------------------------------------

TEST(SkinPalette, TheSlotsTheWindowsReadHoldTheSkinColours)
{
    struct Slot {
        int index;
        COLORREF value; // 0x00BBGGRR
    };
    const Slot slots[] = {
        {0, 0xC8C8C8},  {1, 0x1E1918},  {3, 0x1E1918},  {4, 0x1E1918},  {8, 0x2427B5},
        {9, 0x493F31},  {10, 0x0E1095}, {11, 0x211F1C}, {12, 0xFFFFFF}, {22, 0x46474B},
        {23, 0xD8A507}, {24, 0xBBBAB9}, {25, 0x34302F}, {26, 0x464241}, {27, 0x707070},
        {28, 0xD8A507}, {29, 0xF4BE17}, {30, 0xB58A05}, {31, 0xFFFFFF}, {32, 0xF0F0F0},
    };
    COLORREF palette[kSkinPaletteSlotCount + 1];
    std::fill(std::begin(palette), std::end(palette), 0xDEADBEEF);
    FillSkinPalette(palette);
    for (const Slot& slot : slots)
        EXPECT_EQ(palette[slot.index], slot.value) << "slot " << slot.index;
    EXPECT_EQ(palette[kSkinPaletteSlotCount], 0xDEADBEEFu); // 33 slots, no more
    EXPECT_EQ(kSkinPaletteSlotCount, 33);
}

// ---- window class ---------------------------------------------------------

TEST(InstallerWindowClass, IsTheDialogClassUnderItsOwnNameAndCarriesTheMainWindow)
{
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // Template 139 names the class: without the registration there is no main window.
    {
        CDialog unregistered;
        EXPECT_FALSE(unregistered.Create(IDD_INSTALL_GUIDE));
    }

    ASSERT_TRUE(RegisterInstallerWindowClass(instance));

    WNDCLASSW dialogClass{};
    WNDCLASSW installerClass{};
    ASSERT_TRUE(::GetClassInfoW(nullptr, WC_DIALOG, &dialogClass));
    ASSERT_TRUE(::GetClassInfoW(instance, kInstallerWindowClass, &installerClass));
    EXPECT_EQ(installerClass.cbWndExtra, dialogClass.cbWndExtra);
    EXPECT_EQ(installerClass.style, dialogClass.style);

    CDialog mainWindow;
    ASSERT_TRUE(mainWindow.Create(IDD_INSTALL_GUIDE));
    wchar_t className[64]{};
    ::GetClassNameW(mainWindow.m_hWnd, className, 64);
    EXPECT_STREQ(className, L"BrenvikClassName-CHS");
    EXPECT_EQ(::FindWindowW(L"BrenvikClassName-CHS", nullptr), mainWindow.m_hWnd);
    // The dialog manager works on it: its font and dialog procedure are in place.
    EXPECT_NE(mainWindow.SendMessageW(WM_GETFONT), 0);
    EXPECT_EQ(mainWindow.GetWindowTextW(), L"Mirelle");
    mainWindow.DestroyWindow();

    // A second registration under the same name fails, as a second copy's would
    // inside one process.
    EXPECT_FALSE(RegisterInstallerWindowClass(instance));
}

// ---- newer client ---------------------------------------------------------

std::wstring ModuleFolder()
{
    wchar_t path[MAX_PATH]{};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring TempFile(const wchar_t* name)
{
    wchar_t folder[MAX_PATH]{};
    ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

// Waits up to 20 s for the recorder's output.
bool ReadRecording(const std::wstring& path, std::string& text)
{
    for (int i = 0; i < 200; ++i) {
        if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
            FILE* file = _wfopen(path.c_str(), L"rb");
            if (file == nullptr)
                return false;
            char buffer[256];
            size_t got = std::fread(buffer, 1, sizeof(buffer), file);
            std::fclose(file);
            text.assign(buffer, got);
            return true;
        }
        ::Sleep(100);
    }
    return false;
}

// The elevated run writes its log where a user may have prepared the name: a
// new log is a new file with a random part, a given one must be a plain file of
// its own. (Wine shows a symbolic link to a file as a plain file: that case is
// Windows's, PLATFORM.md.)
TEST(RunLog, ANewLogIsAFreshFileAndAGivenOneMustBeAPlainFileOfItsOwn)
{
    ASSERT_TRUE(OpenNewRunLog());
    const std::wstring first = RunLogPath();
    Log(L"first");
    ASSERT_TRUE(OpenNewRunLog());
    const std::wstring second = RunLogPath();
    CloseRunLog();
    EXPECT_NE(first, second);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    for (const std::wstring& path : {first, second}) {
        EXPECT_EQ(path.rfind(std::wstring(temp) + L"KelmWebInstaller_", 0), 0u);
        EXPECT_EQ(path.size(), std::wstring(temp).size() + 17 + 15 + 1 + 8 + 4) << "a random part of 8 digits";
        EXPECT_NE(::GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    }

    const std::wstring plain = TempFile(L"kelm-log-plain.log");
    const std::wstring secondName = TempFile(L"kelm-log-second-name.log");
    ::DeleteFileW(plain.c_str());
    ::DeleteFileW(secondName.c_str());
    EXPECT_TRUE(OpenRunLog(plain)) << "made when missing";
    CloseRunLog();
    EXPECT_TRUE(OpenRunLog(plain)) << "appended to";
    CloseRunLog();
    ASSERT_TRUE(::CreateHardLinkW(secondName.c_str(), plain.c_str(), nullptr));
    EXPECT_FALSE(OpenRunLog(secondName)) << "a second name of another file";
    std::wstring folder = temp;
    folder.pop_back(); // without its trailing backslash: a folder that is always there
    EXPECT_FALSE(OpenRunLog(folder)) << "a folder";
    EXPECT_EQ(RunLogPath(), L"");
    for (const std::wstring& path : {first, second, plain, secondName})
        ::DeleteFileW(path.c_str());
}

// A held file as the client check leaves an admitted newer client (the
// signature rules are the client check's tests).
TrustedFile Held(const std::wstring& path)
{
    return AdmitPackage(OpenHeldForReading(path), path, {PackageOrigin::BesideInstaller, false, L""}).file;
}

TEST(NewClient, StartsOnlyWhenRequestedAndAdmittedWithTheSingleParameterN)
{
    const std::wstring recorder = ModuleFolder() + L"argument_recorder.exe";
    const std::wstring recording = TempFile(L"kelm-new-client-arguments.txt");
    ::DeleteFileW(recording.c_str());
    ASSERT_TRUE(::SetEnvironmentVariableW(L"KELM_RECORDER_OUTPUT", recording.c_str()));

    constexpr auto kContinue = ClientCheckOutcome::Continue;
    constexpr auto kStop = ClientCheckOutcome::Stop;
    constexpr auto kRunNewClient = ClientCheckOutcome::RunNewClient;
    const TrustedFile client = Held(recorder);
    ASSERT_TRUE(client);
    EXPECT_EQ(StartNewClient(kContinue, client), NewClientStart::NotRequested);
    EXPECT_EQ(StartNewClient(kStop, client), NewClientStart::NotRequested);
    EXPECT_EQ(StartNewClient(kRunNewClient, TrustedFile()), NewClientStart::NotRequested);
    // Nothing was started by any of these.
    ::Sleep(500);
    EXPECT_EQ(::GetFileAttributesW(recording.c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_EQ(StartNewClient(kRunNewClient, client), NewClientStart::Started);
    std::string arguments;
    ASSERT_TRUE(ReadRecording(recording, arguments));
    EXPECT_EQ(arguments, "/n\n");
    ::DeleteFileW(recording.c_str());
}

TEST(NewClient, AFileTheShellCannotStartIsReportedAsFailed)
{
    const std::wstring notProgram = TempFile(L"kelm-client.kelm-unknown-kind");
    FILE* file = _wfopen(notProgram.c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    std::fputs("not a program", file);
    std::fclose(file);
    {
        const TrustedFile held = Held(notProgram);
        EXPECT_EQ(StartNewClient(ClientCheckOutcome::RunNewClient, held), NewClientStart::Failed);
    }
    ::DeleteFileW(notProgram.c_str());
}

} // namespace
